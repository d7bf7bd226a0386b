// A form holding 40 buttons in two columns, over a 480 x 640 painting, on
// the headless display: one drag step (pen move, children moved, form
// updated, screen painted and flushed for the form's area) against a
// full-screen repaint of the same screen.
#include <benchmark/benchmark.h>

#include <functional>
#include <vector>

#include "bench_figures.h"
#include "port_test_app.h"
#include "tbitmap.h"
#include "tcanvas.h"
#include "tbutton.h"
#include "tcontrol.h"
#include "tform.h"
#include "tscreen.h"
#include "tstyler.h"

namespace {

constexpr int32_t SCREEN_W = 480, SCREEN_H = 640;
constexpr int32_t CHILDREN = 40;

tbitmap *g_painting;

// What the application's paint hook does: the 32-bit painting into the frame.
void paint_painting(tscreen *screen, const trect *rect) {
  tpoint at = {rect->x1, rect->y1};
  tcanvas_draw_bitmap(tscreen_get_canvas(screen), &at, g_painting, rect);
}

// A dialog-sized form (474 x 540) whose content is 1000 pixels tall.
void with_form(const std::function<void(tscreen *, tform *)> &body) {
  port_test_run_app(
      [&] {
        tscreen *screen = tscreen_get();
        tstyler_load_defaults();
        g_painting = tbitmap_new(SCREEN_W, -SCREEN_H, 32);
        for (int32_t y = 0; y < SCREEN_H; y++)
          for (int32_t x = 0; x < SCREEN_W; x++)
            tbitmap_set_pixel(g_painting, x, y, 0xFF000000u | uint32_t(x * 977 + y * 131));
        tscreen_set_paint_hook(screen, paint_painting);
        trect rect = {3, 40, 476, 579};
        tform *form = tform_new(nullptr, &rect, nullptr);
        std::vector<tbutton *> children;
        for (int32_t i = 0; i < CHILDREN; i++) {
          int32_t x = 10 + (i % 2) * 230, y = 10 + (i / 2) * 50;
          trect r = {x, y, x + 199, y + 39};
          tbutton *b = tbutton_new(nullptr, &r, u"Button", i, nullptr);
          tform_add_child(form, i + 1, &b->_control);
          children.push_back(b);
        }
        tcontrol_realize(&form->_control);
        tscreen_paint(screen, nullptr);
        body(screen, form);
        tform_free(form);
        for (tbutton *b : children) tbutton_free(b);
        tbitmap_free(g_painting);
        tstyler_free_defaults();
        return 0;
      },
      "480x640");
}

void BM_form_drag_step_40(benchmark::State &state) {
  with_form([&](tscreen *screen, tform *) {
    int32_t x = 240, y = 500;
    tscreen_dispatch_pen(screen, 1, x, y, 0);
    for (int i = 0; i < 6; i++) tscreen_dispatch_pen(screen, 3, x, --y, 0);  // past the slop
    // Up and down between y 500 and 140: the content stays within its ends.
    int32_t dy = -3;
    for (auto _ : state) {
      y += dy;
      if (y <= 140 || y >= 500) dy = -dy;
      tscreen_dispatch_pen(screen, 3, x, y, 0);
    }
    tscreen_dispatch_pen(screen, 2, x, y, 0);
  });
}
BENCHMARK(BM_form_drag_step_40);

void BM_form_full_repaint(benchmark::State &state) {
  with_form([&](tscreen *screen, tform *) {
    for (auto _ : state) tscreen_paint(screen, nullptr);
  });
}
BENCHMARK(BM_form_full_repaint);

}  // namespace

BENCH_RATIO("form_drag_step_40_vs_full_repaint", "BM_form_drag_step_40", "BM_form_full_repaint", 0);
// What holds the step: a quarter of a 60 Hz frame.
BENCH_MS_GOAL("form_drag_step_40_ms", "BM_form_drag_step_40", 4);
