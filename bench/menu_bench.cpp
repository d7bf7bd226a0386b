// Menus over a 480 x 640 painting on the headless display: one 10 ms tick of
// a 100-row list scrolling in an open menu (list redrawn, brought to the
// screen and flushed) and popping up a 50-item menu (built, filled, placed,
// shown), each against a full-screen repaint of the same screen.
#include <benchmark/benchmark.h>

#include <functional>

#include "bench_figures.h"
#include "port_test_app.h"
#include "tbitmap.h"
#include "tcanvas.h"
#include "tlistbox.h"
#include "tmenu.h"
#include "tscreen.h"
#include "tstyler.h"
#include "wins_timer.h"

namespace {

constexpr int32_t SCREEN_W = 480, SCREEN_H = 640;
constexpr uint32_t KEY_UP = 0xF809, KEY_DOWN = 0xF80A;

tbitmap *g_painting;

// What the application's paint hook does: the 32-bit painting into the frame.
void paint_painting(tscreen *screen, const trect *rect) {
  tpoint at = {rect->x1, rect->y1};
  tcanvas_draw_bitmap(tscreen_get_canvas(screen), &at, g_painting, rect);
}

void on_painting(const std::function<void(tscreen *)> &body) {
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
        tbitmap_free(g_painting);
        tstyler_free_defaults();
        return 0;
      },
      "480x640");
}

tmenu *menu_of(int items) {
  tmenu *menu = tmenu_new(nullptr);
  for (int i = 0; i < items; i++) tmenu_add_item(menu, u"Menu item/-1", uint32_t(i), 0, 0, nullptr);
  return menu;
}

// A 100-row menu cut to the screen, scrolling one pixel a tick from one end
// to the other and back.
void with_scrolling_menu(const std::function<void(tscreen *, tlistbox *)> &body) {
  on_painting([&](tscreen *screen) {
    tmenu *menu = menu_of(100);
    tlistbox *list = tmenu_get_listbox(menu);
    tlistbox_set_smooth_scroll(list, 1);
    tlistbox_set_scroll_steps(list, 1 << 20);
    tmenu_popup(menu, -1, -1);
    body(screen, list);
    wins_timer_stop_all();
    tmenu_close(menu);
  });
}

void BM_list_scroll_tick(benchmark::State &state) {
  with_scrolling_menu([&](tscreen *, tlistbox *list) {
    tscreen *screen = tscreen_get();
    for (auto _ : state) {
      // At either end, a key sends the rows back the other way.
      if (!list->_timer) tscreen_dispatch_key(screen, tlistbox_get_selected(list) == 0 ? KEY_UP : KEY_DOWN, 0, 0);
      wins_timer_on_tick(0, 0, list->_timer, 0);
    }
  });
}
BENCHMARK(BM_list_scroll_tick);

void BM_list_scroll_full_repaint(benchmark::State &state) {
  with_scrolling_menu([&](tscreen *screen, tlistbox *) {
    for (auto _ : state) tscreen_paint(screen, nullptr);
  });
}
BENCHMARK(BM_list_scroll_full_repaint);

void BM_menu_popup_50(benchmark::State &state) {
  on_painting([&](tscreen *) {
    for (auto _ : state) {
      tmenu *menu = menu_of(50);
      tmenu_popup(menu, -1, -1);
      // Gone without the whole-screen repaint of a close: the next pop-up
      // paints over it.
      tmenu_free(menu);
    }
  });
}
BENCHMARK(BM_menu_popup_50);

void BM_menu_popup_full_repaint(benchmark::State &state) {
  on_painting([&](tscreen *screen) {
    for (auto _ : state) tscreen_paint(screen, nullptr);
  });
}
BENCHMARK(BM_menu_popup_full_repaint);

}  // namespace

// Reported without a goal: it compares with our own full repaint, and a tick
// is a few copies of the menu's area whose speed moves with where each run's
// buffers land (0.43-0.53 of the repaint from one process to the next).
BENCH_RATIO("list_scroll_tick_vs_full_repaint", "BM_list_scroll_tick", "BM_list_scroll_full_repaint", 0);
BENCH_RATIO("menu_popup_50_vs_full_repaint", "BM_menu_popup_50", "BM_menu_popup_full_repaint", 0);
// What holds the steps: a quarter of a 60 Hz frame each.
BENCH_MS_GOAL("list_scroll_tick_ms", "BM_list_scroll_tick", 4);
BENCH_MS_GOAL("menu_popup_50_ms", "BM_menu_popup_50", 4);
