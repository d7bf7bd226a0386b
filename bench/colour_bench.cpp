// The colour dialogs over a 480 x 640 painting on the headless display, as
// the toolkit builds them (the colour panel also dims what lies behind, which
// costs a full-screen blend per paint on top), against a full-screen repaint
// of the screen the operation starts from:
// - opening: building the colour dialog and showing it (which paints the
//   whole screen); closing it is not timed;
// - a bar drag step in the RGB dialog: one pen move on the red bar, which
//   remakes the other two ramps, redraws the bars, the value and the preview
//   and brings the form to the screen; the repaint is of the screen showing
//   both dialogs.
#include <benchmark/benchmark.h>

#include <functional>

#include "bench_figures.h"
#include "port_test_app.h"
#include "tadvcolordialog.h"
#include "tbitmap.h"
#include "tcanvas.h"
#include "tcolordialog.h"
#include "tdialog.h"
#include "tscreen.h"
#include "tstyler.h"

namespace {

constexpr int32_t SCREEN_W = 480, SCREEN_H = 640;

tbitmap *g_painting;
uint32_t g_color = tcolor_key_rgb(128, 64, 200);
uint32_t g_recent[TCOLORDIALOG_RECENT] = {0x0000FF, 0x00FF00, 0xFF0000};
int32_t g_recent_count = 3;

// What the application's paint hook does: the 32-bit painting into the frame.
void paint_painting(tscreen *screen, const trect *rect) {
  tpoint at = {rect->x1, rect->y1};
  tcanvas_draw_bitmap(tscreen_get_canvas(screen), &at, g_painting, rect);
}

void on_screen(const std::function<void(tscreen *)> &body) {
  port_test_run_app(
      [&] {
        tscreen *screen = tscreen_get();
        tstyler_load_defaults();
        g_painting = tbitmap_new(SCREEN_W, -SCREEN_H, 32);
        for (int32_t y = 0; y < SCREEN_H; y++)
          for (int32_t x = 0; x < SCREEN_W; x++)
            tbitmap_set_pixel(g_painting, x, y, 0xFF000000u | uint32_t(x * 977 + y * 131));
        tscreen_set_paint_hook(screen, paint_painting);
        tscreen_paint(screen, nullptr);
        body(screen);
        tscreen_set_paint_hook(screen, nullptr);
        tbitmap_free(g_painting);
        tstyler_free_defaults();
        return 0;
      },
      "480x640");
}

// As the toolkit builds it: the standard width, Cancel, centred, not dimmed.
tcolordialog *open_colour_dialog() {
  tcolordialog *cd = tcolordialog_new(u"", -1, &g_color, g_recent, &g_recent_count, nullptr);
  tcolordialog_show(cd, -1, -1, TDIALOG_PLACE_CENTRE);
  return cd;
}

void BM_colour_dialog_open(benchmark::State &state) {
  on_screen([&](tscreen *) {
    for (auto _ : state) {
      tcolordialog *cd = open_colour_dialog();
      state.PauseTiming();
      tdialog_close(tcolordialog_get_dialog(cd), TDIALOG_RESULT_CANCEL);
      state.ResumeTiming();
    }
  });
}

// The RGB dialog opened from the colour dialog by its button: the screen of
// a bar drag.
void with_rgb_dialog(const std::function<void(tscreen *, tadvcolordialog *)> &body) {
  on_screen([&](tscreen *screen) {
    tcolordialog *cd = open_colour_dialog();
    trect r;
    tsurface_get_screen_rect(&reinterpret_cast<tcontrol *>(tcolordialog_get_more_button(cd))->_surface, &r);
    tscreen_dispatch_pen(screen, TSCREEN_PEN_DOWN, (r.x1 + r.x2) / 2, (r.y1 + r.y2) / 2, 0);
    tscreen_dispatch_pen(screen, TSCREEN_PEN_UP, (r.x1 + r.x2) / 2, (r.y1 + r.y2) / 2, 0);
    tdialog *rgb = reinterpret_cast<tdialog *>(tscreen_get_modal(screen));
    body(screen, static_cast<tadvcolordialog *>(tsurface_get_owner(&rgb->_control._surface)));
    tdialog_close(rgb, TDIALOG_RESULT_CANCEL);
    tdialog_close(tcolordialog_get_dialog(cd), TDIALOG_RESULT_CANCEL);
  });
}

// The red bar dragged to and fro between a fifth and four fifths of its width.
void BM_rgb_bar_drag(benchmark::State &state) {
  with_rgb_dialog([&](tscreen *screen, tadvcolordialog *adv) {
    trect r;
    tsurface_get_screen_rect(&reinterpret_cast<tcontrol *>(adv->_bars[0])->_surface, &r);
    int32_t width = r.x2 - r.x1 + 1, y = (r.y1 + r.y2) / 2;
    int32_t low = r.x1 + width / 5, high = r.x1 + 4 * width / 5, x = low, dx = 3;
    tscreen_dispatch_pen(screen, TSCREEN_PEN_DOWN, x, y, 0);
    for (auto _ : state) {
      x += dx;
      if (x <= low || x >= high) dx = -dx;
      tscreen_dispatch_pen(screen, TSCREEN_PEN_MOVE, x, y, 0);
    }
    tscreen_dispatch_pen(screen, TSCREEN_PEN_UP, x, y, 0);
  });
}

// The screen before the colour dialog opens.
void BM_colour_full_repaint(benchmark::State &state) {
  on_screen([&](tscreen *screen) {
    for (auto _ : state) tscreen_paint(screen, nullptr);
  });
}

// The screen of the drag: both dialogs over the painting.
void BM_rgb_full_repaint(benchmark::State &state) {
  with_rgb_dialog([&](tscreen *screen, tadvcolordialog *) {
    for (auto _ : state) tscreen_paint(screen, nullptr);
  });
}

}  // namespace

BENCHMARK(BM_colour_dialog_open);
BENCHMARK(BM_rgb_bar_drag);
BENCHMARK(BM_colour_full_repaint);
BENCHMARK(BM_rgb_full_repaint);
BENCH_RATIO("colour_dialog_open_vs_full_repaint", "BM_colour_dialog_open", "BM_colour_full_repaint", 0);
// What holds the step: a quarter of a 60 Hz frame.
BENCH_MS_GOAL("colour_dialog_open_ms", "BM_colour_dialog_open", 4);
BENCH_RATIO("rgb_bar_drag_vs_full_repaint", "BM_rgb_bar_drag", "BM_rgb_full_repaint", 1.5);
