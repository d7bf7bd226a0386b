// Text drawing: 20 list rows in one pass against cairo drawing the same
// strings at the same pixel size into a same-sized ARGB32 surface: Latin rows
// on a 32-bit canvas (the painting canvas's text tool), and mixed Latin,
// Cyrillic and Chinese rows on the 16-bit screen (reported).
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <string>
#include <vector>

#include "bench_figures.h"
#include "port_utf8.h"
#include "tcanvas.h"
#include "tfont_sizes.h"
#include "wins_graphics.h"

namespace {

constexpr int k_width = 480;
constexpr int k_height = 640;
constexpr int k_rows = 20;
constexpr int k_row_pitch = k_height / k_rows;
constexpr int k_size_index = 4;  // the list rows' size
constexpr int k_dpi = 192;       // the 480x640 screen is of the large class

const char16_t *const k_texts[] = {
    u"Untitled painting 1.bvf",  u"Photos from the trip",   u"Мои рисунки",
    u"画图 2024-05-17",          u"Brush size: 12 px",      u"Сохранить как…",
    u"New picture (480 x 640)",  u"图层和颜色",             u"Recent folders",
    u"Открыть изображение",      u"Sunset over the bay.png", u"最近使用的文件",
};

const char16_t *const k_latin_texts[] = {
    u"Untitled painting 1.bvf", u"Photos from the trip", u"Brush size: 12 px",
    u"New picture (480 x 640)", u"Recent folders",       u"Sunset over the bay.png",
};

template <size_t N>
std::vector<std::u16string> row_texts(const char16_t *const (&texts)[N]) {
  std::vector<std::u16string> rows;
  for (int i = 0; i < k_rows; i++) rows.emplace_back(texts[size_t(i) % N]);
  return rows;
}

void draw_rows(benchmark::State &state, int bpp, const std::vector<std::u16string> &rows, uint32_t pen) {
  wins_graphics_set_dpi(k_dpi);
  tcanvas canvas;
  if (!tcanvas_init(&canvas, nullptr, bpp, k_width, -k_height)) {
    state.SkipWithError("no canvas");
    return;
  }
  tcanvas_set_pen_color(&canvas, pen);
  wins_graphics_set_font_size_index(&canvas, k_size_index);
  for (auto _ : state) {
    wins_graphics_pass *pass = wins_graphics_begin_text(&canvas);
    for (int i = 0; i < k_rows; i++) {
      tpoint at = {8, i * k_row_pitch};
      wins_graphics_draw_text(&canvas, pass, &at, rows[i].c_str(), int(rows[i].size()));
    }
    wins_graphics_end_text(&canvas, pass);
    benchmark::DoNotOptimize(canvas._bitmap->_pixels);
  }
  tcanvas_deinit(&canvas);
  wins_graphics_set_dpi(0);
}

void BM_text_rows_20(benchmark::State &state) { draw_rows(state, 32, row_texts(k_latin_texts), 0xFF000000); }
void BM_text_rows_20_565(benchmark::State &state) { draw_rows(state, 16, row_texts(k_texts), 0xFF000000); }
void BM_text_rows_20_translucent(benchmark::State &state) { draw_rows(state, 16, row_texts(k_texts), 0x80000000); }

void cairo_rows(benchmark::State &state, const std::vector<std::u16string> &texts) {
  cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, k_width, k_height);
  cairo_t *cr = cairo_create(surface);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, double(tfont_size_from_index(k_size_index) * k_dpi / 72));
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_font_extents_t extents;
  cairo_font_extents(cr, &extents);
  std::vector<std::string> rows;
  for (const std::u16string &text : texts) rows.push_back(port_utf8_of(text.c_str()));
  for (auto _ : state) {
    for (int i = 0; i < k_rows; i++) {
      cairo_move_to(cr, 8, i * k_row_pitch + extents.ascent);
      cairo_show_text(cr, rows[i].c_str());
    }
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

void BM_text_rows_20_cairo(benchmark::State &state) { cairo_rows(state, row_texts(k_latin_texts)); }
void BM_text_rows_20_mixed_cairo(benchmark::State &state) { cairo_rows(state, row_texts(k_texts)); }

}  // namespace

BENCHMARK(BM_text_rows_20);
BENCHMARK(BM_text_rows_20_cairo);
BENCHMARK(BM_text_rows_20_565);
BENCHMARK(BM_text_rows_20_mixed_cairo);
BENCHMARK(BM_text_rows_20_translucent);

BENCH_RATIO("text_rows_20_vs_cairo", "BM_text_rows_20", "BM_text_rows_20_cairo", 1.0);
BENCH_RATIO("text_rows_20_565_vs_cairo", "BM_text_rows_20_565", "BM_text_rows_20_mixed_cairo", 0);
BENCH_MS("text_rows_20_translucent_ms", "BM_text_rows_20_translucent");
