// Drawers: a vertical gradient box drawn from its cache against a solid box
// of the same size, and a long path cut with the path ellipsis against a
// short text drawn plainly, both on a 16-bit surface as the screen has.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_figures.h"
#include "tbdrawer.h"
#include "tcanvas.h"
#include "ttdrawer.h"
#include "wins_graphics.h"

namespace {

constexpr int k_box_width = 480, k_box_height = 48;
constexpr int k_text_width = 200;

void draw_box(benchmark::State &state, bool gradient) {
  tcanvas canvas;
  tbdrawer *drawer = tbdrawer_new_default();
  if (!drawer || !tcanvas_init(&canvas, nullptr, 16, k_box_width, -k_box_height)) {
    state.SkipWithError("no canvas");
    return;
  }
  tbdrawer_set_no_border(drawer);
  if (gradient) tbdrawer_set_fill_gradient(drawer, 0, tcolor_key_rgb(250, 250, 255), tcolor_key_rgb(90, 110, 200), 100, 0);
  const trect box = {0, 0, k_box_width - 1, k_box_height - 1};
  tbdrawer_draw(drawer, &canvas, &box);  // the cache is made once, outside the timing
  for (auto _ : state) {
    tbdrawer_draw(drawer, &canvas, &box);
    benchmark::DoNotOptimize(canvas._bitmap->_pixels);
  }
  tbdrawer_free(drawer);
  tcanvas_deinit(&canvas);
}

void BM_gradient_box(benchmark::State &state) { draw_box(state, true); }
void BM_solid_box(benchmark::State &state) { draw_box(state, false); }

// 250 characters of nested folders and a file name.
std::u16string long_path() {
  std::u16string path = u"/home/painter/Documents";
  for (int i = 0; path.size() < 230; i++) path += u"/sketches and studies " + std::u16string(1, char16_t(u'a' + i % 26));
  path.resize(230);
  path += u"/evening harbour.bvf";
  path.resize(250, u'x');
  return path;
}

void draw_text(benchmark::State &state, const std::u16string &text, uint32_t truncation, int width) {
  tcanvas canvas;
  ttdrawer *drawer = ttdrawer_new_default();
  if (!drawer || !tcanvas_init(&canvas, nullptr, 16, 480, -40)) {
    state.SkipWithError("no canvas");
    return;
  }
  ttdrawer_set_alignment(drawer, 7);
  ttdrawer_set_truncation(drawer, truncation);
  const trect box = {0, 0, width - 1, 39};
  for (auto _ : state) {
    ttdrawer_draw(drawer, &canvas, text.data(), int32_t(text.size()), &box);
    benchmark::DoNotOptimize(canvas._bitmap->_pixels);
  }
  ttdrawer_free(drawer);
  tcanvas_deinit(&canvas);
}

void BM_path_ellipsis_250(benchmark::State &state) {
  draw_text(state, long_path(), TTDRAWER_TRUNCATE_PATH, k_text_width);
}
void BM_plain_text_30(benchmark::State &state) {
  draw_text(state, u"Sketches and studies, harbours", TTDRAWER_TRUNCATE_NONE, 480);
}

}  // namespace

BENCHMARK(BM_gradient_box);
BENCHMARK(BM_solid_box);
BENCHMARK(BM_path_ellipsis_250);
BENCHMARK(BM_plain_text_30);

BENCH_RATIO("gradient_box_vs_solid_box", "BM_gradient_box", "BM_solid_box", 2.0);
BENCH_RATIO("path_ellipsis_250_vs_plain_text", "BM_path_ellipsis_250", "BM_plain_text_30", 3.0);
