// Flood fill and nearest-neighbour scaling: the flood fill against pixman
// blending the same colour over the same area (OVER of a solid colour) and,
// in a maze, against the textbook span fill (span_fill.cpp); the scaling
// against pixman's nearest-neighbour SRC composite of the same size.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench_figures.h"
#include "span_fill.h"
#include "tbitmap.h"
#include "tcanvas.h"
#include "tscale.h"

#ifdef BRIVOLA_HAVE_PIXMAN
#include <pixman.h>
#endif

namespace {

constexpr uint32_t TRANSLUCENT_RED = 0x80FF0000;

// A 2000 x 2000 canvas with nothing in the way: after each fill the region is
// one colour again, so every iteration fills the whole of it.
void BM_flood_fill_open_2000(benchmark::State &state) {
  tcanvas canvas;
  tcanvas_init(&canvas, nullptr, 32, 2000, -2000);
  tcanvas_set_brush(&canvas, TCANVAS_BRUSH_SOLID, TRANSLUCENT_RED);
  for (auto _ : state) benchmark::DoNotOptimize(tcanvas_flood_fill(&canvas, 1000, 1000, 16));
  tcanvas_deinit(&canvas);
}

#ifdef BRIVOLA_HAVE_PIXMAN
void BM_pixman_over_solid_2000(benchmark::State &state) {
  tbitmap *bitmap = tbitmap_new(2000, -2000, 32);
  pixman_image_t *dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, 2000, 2000,
                                                 reinterpret_cast<uint32_t *>(tbitmap_get_row(bitmap, 0)),
                                                 int(tbitmap_get_stride(bitmap)));
  pixman_color_t red = {0x8080, 0, 0, 0x8080};  // premultiplied, alpha 128
  pixman_image_t *solid = pixman_image_create_solid_fill(&red);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, solid, nullptr, dst, 0, 0, 0, 0, 0, 0, 2000, 2000);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(solid);
  pixman_image_unref(dst);
  tbitmap_free(bitmap);
}
BENCHMARK(BM_pixman_over_solid_2000)->Unit(benchmark::kMillisecond);
#endif

// A square spiral corridor two pixels wide: the wall is one spiral line
// wound in from the border of a 1000 x 1000 canvas, each turn three pixels
// inside the last. Each fill recolours the corridor, and the next one starts
// from the new colour.
constexpr int32_t k_spiral_side = 1000;
const uint32_t k_spiral_colours[2] = {0xFF2080C0, 0xFFFFFFFF};

void draw_spiral(tbitmap *bitmap) {
  const uint32_t wall = 0xFF000000;
  const int dx[4] = {1, 0, -1, 0}, dy[4] = {0, 1, 0, -1};
  int32_t x = 0, y = 0, length = 999;
  for (int leg = 0; length > 0; leg++) {
    int32_t next_x = x + dx[leg % 4] * length, next_y = y + dy[leg % 4] * length;
    if (next_y == y)
      tbitmap_draw_hline(bitmap, x, next_x, y, wall);
    else
      tbitmap_draw_vline(bitmap, x, y, next_y, wall);
    x = next_x, y = next_y;
    if (leg >= 2 && leg % 2 == 0) length -= 3;
  }
}

void BM_flood_fill_spiral_1000(benchmark::State &state) {
  tcanvas canvas;
  tcanvas_init(&canvas, nullptr, 32, k_spiral_side, k_spiral_side);
  draw_spiral(tcanvas_get_bitmap(&canvas));
  int turn = 0;
  for (auto _ : state) {
    tcanvas_set_brush(&canvas, TCANVAS_BRUSH_SOLID, k_spiral_colours[turn]);
    turn ^= 1;
    benchmark::DoNotOptimize(tcanvas_flood_fill(&canvas, 1, 1, 0));
  }
  tcanvas_deinit(&canvas);
}

void BM_span_fill_spiral_1000(benchmark::State &state) {
  tbitmap *bitmap = tbitmap_new(k_spiral_side, -k_spiral_side, 32);
  draw_spiral(bitmap);
  uint32_t *pixels = reinterpret_cast<uint32_t *>(tbitmap_get_row(bitmap, 0));
  std::vector<span_fill_entry> stack;
  int turn = 0;
  for (auto _ : state) {
    textbook_span_fill(pixels, k_spiral_side, k_spiral_side, 1, 1, k_spiral_colours[turn], stack);
    turn ^= 1;
    benchmark::ClobberMemory();
  }
  tbitmap_free(bitmap);
}

tbitmap *make_picture(int32_t width, int32_t height) {
  tbitmap *bitmap = tbitmap_new(width, -height, 32);
  for (int32_t y = 0; y < height; y++) {
    uint8_t *row = tbitmap_get_row(bitmap, y);
    for (int32_t x = 0; x < width; x++) {
      uint32_t pixel = 0xFF000000u | uint32_t(x * 7 + y * 13) * 2654435761u >> 8;
      std::memcpy(row + 4 * x, &pixel, 4);
    }
  }
  return bitmap;
}

void BM_scale_nn_1000_4000(benchmark::State &state) {
  tbitmap *src = make_picture(1000, 1000);
  tbitmap *dst = tbitmap_new(4000, -4000, 32);
  for (auto _ : state) benchmark::DoNotOptimize(tscale_scale_into(src, dst));
  tbitmap_free(dst);
  tbitmap_free(src);
}

#ifdef BRIVOLA_HAVE_PIXMAN
void BM_pixman_scale_nn_1000_4000(benchmark::State &state) {
  tbitmap *src = make_picture(1000, 1000);
  tbitmap *dst = tbitmap_new(4000, -4000, 32);
  pixman_image_t *src_image = pixman_image_create_bits(PIXMAN_a8r8g8b8, 1000, 1000,
                                                       reinterpret_cast<uint32_t *>(src->_pixels),
                                                       int(tbitmap_get_stride(src)));
  pixman_image_t *dst_image = pixman_image_create_bits(PIXMAN_a8r8g8b8, 4000, 4000,
                                                       reinterpret_cast<uint32_t *>(dst->_pixels),
                                                       int(tbitmap_get_stride(dst)));
  pixman_transform_t transform;
  pixman_transform_init_scale(&transform, pixman_double_to_fixed(0.25), pixman_double_to_fixed(0.25));
  pixman_image_set_transform(src_image, &transform);
  pixman_image_set_filter(src_image, PIXMAN_FILTER_NEAREST, nullptr, 0);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_SRC, src_image, nullptr, dst_image, 0, 0, 0, 0, 0, 0, 4000, 4000);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(src_image);
  pixman_image_unref(dst_image);
  tbitmap_free(dst);
  tbitmap_free(src);
}
BENCHMARK(BM_pixman_scale_nn_1000_4000)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK(BM_flood_fill_open_2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_flood_fill_spiral_1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_span_fill_spiral_1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_scale_nn_1000_4000)->Unit(benchmark::kMillisecond);

BENCH_RATIO("flood_fill_open_2000_vs_pixman", "BM_flood_fill_open_2000", "BM_pixman_over_solid_2000", 1.0);
BENCH_RATIO("flood_fill_spiral_1000_vs_span_fill", "BM_flood_fill_spiral_1000", "BM_span_fill_spiral_1000", 1.0);
BENCH_MS("flood_fill_spiral_1000_ms", "BM_flood_fill_spiral_1000");
BENCH_RATIO("scale_nn_1000_4000_vs_pixman", "BM_scale_nn_1000_4000", "BM_pixman_scale_nn_1000_4000", 1.0);
