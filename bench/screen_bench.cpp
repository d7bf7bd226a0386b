// Screen composition cost: a full paint of a 480x640 screen (the painting
// hook plus six surfaces, one keyed at alpha 216) against the same blits done
// one by one, and a 64x64 partial paint against the full one.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_figures.h"
#include "tbitmap.h"
#include "tcanvas.h"
#include "tscreen.h"
#include "tsurface.h"
#include "wins_window.h"

namespace {

constexpr int32_t SCREEN_W = 480, SCREEN_H = 640;
constexpr uint32_t MAGENTA_KEY = 0x00FF00FF;  // blue << 16 | green << 8 | red

struct panel {
  trect rect;
  uint32_t fill;
  bool keyed;
};

// Where the application's bars and panels sit on the portrait screen.
const panel PANELS[] = {
    {{0, 0, 479, 59}, 0xFF404040u, false},      // tool bar
    {{0, 560, 479, 639}, 0xFF303030u, false},   // command panel
    {{420, 100, 479, 399}, 0xFF2060C0u, true},  // side bar, translucent
    {{20, 380, 219, 529}, 0xFFE0E0E0u, false},  // colour panel
    {{90, 70, 389, 109}, 0xFF606060u, false},   // zoom bar
    {{360, 400, 469, 559}, 0xFFFFFFFFu, false}, // thumbnail
};

struct scene {
  tscreen screen{};
  tbitmap *painting = nullptr;  // the 32-bit canvas the hook shows
  std::vector<tsurface> surfaces = std::vector<tsurface>(6);

  scene() {
    tscreen_init(&screen, SCREEN_W, -SCREEN_H);
    if (wins_window_context *context = wins_window_get_context()) context->_screen = &screen;
    painting = tbitmap_new(SCREEN_W, -SCREEN_H, 32);
    for (int32_t y = 0; y < SCREEN_H; y++)
      for (int32_t x = 0; x < SCREEN_W; x++) tbitmap_set_pixel(painting, x, y, 0xFF000000u | uint32_t(x * 977 + y * 131));
    tscreen_set_paint_hook(&screen, paint_hook);
    for (int i = 0; i < 6; i++) {
      tsurface *s = &surfaces[size_t(i)];
      tsurface_init(s, nullptr, &PANELS[i].rect, this);
      tbitmap *own = tcanvas_get_bitmap(tsurface_get_canvas(s));
      tbitmap_fill_rect(own, 0, 0, tbitmap_get_width(own) - 1, tbitmap_get_height(own) - 1, PANELS[i].fill);
      if (PANELS[i].keyed) {
        // Rounded ends of key colour, as the floating panels have.
        tbitmap_fill_rect(own, 0, 0, 59, 9, 0xFFFF00FFu);
        tbitmap_fill_rect(own, 0, 290, 59, 299, 0xFFFF00FFu);
        tcolor key;
        tsurface_set_color_key(s, *tcolor_make(&key, 255, 0, 255, 216));
      }
      tsurface_realize(s);
      tscreen_insert_surface(&screen, s);
    }
  }

  ~scene() {
    for (tsurface &s : surfaces) tsurface_deinit(&s);
    if (wins_window_context *context = wins_window_get_context()) context->_screen = nullptr;
    tbitmap_free(painting);
    tscreen_deinit(&screen);
  }

  static scene *current;
  static void paint_hook(tscreen *screen, const trect *rect) {
    tpoint at = {rect->x1, rect->y1};
    tcanvas_draw_bitmap(tscreen_get_canvas(screen), &at, current->painting, rect);
  }
};

scene *scene::current = nullptr;

scene &the_scene() {
  static scene s;
  scene::current = &s;
  return s;
}

void BM_screen_paint_full(benchmark::State &state) {
  scene &s = the_scene();
  for (auto _ : state) {
    tscreen_paint(&s.screen, nullptr);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_screen_paint_full);

// The same pixels moved by the same blits, without the screen around them.
void BM_screen_blits_one_by_one(benchmark::State &state) {
  scene &s = the_scene();
  tbitmap *frame = tscreen_get_bitmap(&s.screen);
  for (auto _ : state) {
    tpoint origin = {0, 0};
    trect whole = {0, 0, SCREEN_W - 1, SCREEN_H - 1};
    tbitmap_blit_keyed(frame, &origin, s.painting, &whole, 0xFFFFFFFFu, 255);
    for (int i = 0; i < 6; i++) {
      const trect &r = PANELS[i].rect;
      tpoint at = {r.x1, r.y1};
      trect src = {0, 0, r.x2 - r.x1, r.y2 - r.y1};
      const tbitmap *own = tcanvas_get_bitmap(tsurface_get_canvas(&s.surfaces[size_t(i)]));
      if (PANELS[i].keyed)
        tbitmap_blit_keyed(frame, &at, own, &src, MAGENTA_KEY, 216);
      else
        tbitmap_blit_keyed(frame, &at, own, &src, 0xFFFFFFFFu, 255);
    }
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_screen_blits_one_by_one);

// A pen stroke's refresh: 64x64 of the painting across a corner of the colour panel.
void BM_screen_paint_dirty_64(benchmark::State &state) {
  scene &s = the_scene();
  trect dirty = {180, 350, 243, 413};
  for (auto _ : state) {
    tscreen_paint(&s.screen, &dirty);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_screen_paint_dirty_64);

}  // namespace

// Reported only: the one-by-one blits are our own code, not a peer.
BENCH_RATIO("screen_paint_full_vs_blits", "BM_screen_paint_full", "BM_screen_blits_one_by_one", 0);
BENCH_RATIO("screen_paint_dirty_64_vs_full", "BM_screen_paint_dirty_64", "BM_screen_paint_full", 0.05);
