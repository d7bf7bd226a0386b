// The 32-bit painting canvas against pixman on the same buffers: the
// translucent fill (OVER of a solid colour), the constant-alpha blend of one
// 32-bit picture over another (OVER through a solid mask), the opaque fill
// (pixman_fill) and the 32 -> 565 present at narrow widths. Each figure is
// the worse of a whole 2000 x 2000 canvas and a 1001 x 999 rectangle at
// (3, 5), which starts and ends off any vector boundary.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>

#include "bench_figures.h"
#include "tbitmap.h"
#include "tblit.h"

#if defined(BRIVOLA_HAVE_PIXMAN)
#include <pixman.h>
#endif

namespace {

constexpr int32_t k_side = 2000;
constexpr uint32_t k_translucent = 0x80FF2040;  // alpha 128
constexpr uint32_t k_opaque = 0xFF2080C0;

struct area {
  int32_t x, y, width, height;
};
constexpr area k_whole = {0, 0, k_side, k_side};
constexpr area k_inner = {3, 5, 1001, 999};

// Random colours with the fourth byte at 255, as the canvas keeps it.
tbitmap *make_canvas(uint32_t seed) {
  tbitmap *b = tbitmap_new(k_side, -k_side, 32);
  for (int32_t y = 0; y < k_side; y++) {
    uint8_t *row = tbitmap_get_row(b, y);
    for (int32_t x = 0; x < k_side; x++) {
      seed = seed * 1664525u + 1013904223u;
      uint32_t pixel = 0xFF000000u | seed >> 8;
      std::memcpy(row + 4 * x, &pixel, 4);
    }
  }
  return b;
}

// The destination is marked as the painting context marks its canvas.
tbitmap *make_marked_canvas(uint32_t seed) {
  tbitmap *b = make_canvas(seed);
  tbitmap_set_opaque(b, 1);
  return b;
}

struct canvases {
  tbitmap *dst = make_marked_canvas(1), *src = make_canvas(2);
  tbitmap *present_src = make_canvas(3), *present_dst = tbitmap_new(k_side, -k_side, 16);
};

canvases &the_canvases() {
  static canvases c;
  return c;
}

void fill(benchmark::State &state, area a, uint32_t color) {
  tbitmap *dst = the_canvases().dst;
  for (auto _ : state) {
    tbitmap_fill_rect(dst, a.x, a.y, a.x + a.width - 1, a.y + a.height - 1, color);
    benchmark::ClobberMemory();
  }
}

void blend(benchmark::State &state, area a) {
  canvases &c = the_canvases();
  tpoint at = {a.x, a.y};
  trect from = {0, 0, a.width - 1, a.height - 1};
  for (auto _ : state) {
    tbitmap_blit_alpha(c.dst, &at, c.src, &from, 128);
    benchmark::ClobberMemory();
  }
}

// The canvas present, opaque and without a key, at a given width.
void present(benchmark::State &state, int32_t width) {
  canvases &c = the_canvases();
  tpoint at = {0, 0};
  trect from = {0, 0, width - 1, k_side - 1};
  for (auto _ : state) {
    tbitmap_blit_keyed(c.present_dst, &at, c.present_src, &from, 0xFFFFFFFFu, 255);
    benchmark::ClobberMemory();
  }
}

void BM_fill_alpha128_32(benchmark::State &state, area a) { fill(state, a, k_translucent); }
void BM_fill_opaque_32(benchmark::State &state, area a) {
  bench_set_note("fill_opaque_32_path", tblit_opaque_fill_path());
  fill(state, a, k_opaque);
}
void BM_blend_alpha128_32(benchmark::State &state, area a) { blend(state, a); }
void BM_present_32_565(benchmark::State &state, int32_t width) { present(state, width); }

BENCHMARK_CAPTURE(BM_fill_alpha128_32, whole, k_whole)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_fill_alpha128_32, inner, k_inner)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_fill_opaque_32, whole, k_whole)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_fill_opaque_32, inner, k_inner)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_blend_alpha128_32, whole, k_whole)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_blend_alpha128_32, inner, k_inner)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_present_32_565, w2000, 2000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_present_32_565, w7, 7)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_present_32_565, w24, 24)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_present_32_565, w40, 40)->Unit(benchmark::kMicrosecond);

#if defined(BRIVOLA_HAVE_PIXMAN)

pixman_image_t *wrap(tbitmap *b, pixman_format_code_t format) {
  return pixman_image_create_bits(format, tbitmap_get_width(b), tbitmap_get_height(b),
                                  reinterpret_cast<uint32_t *>(tbitmap_get_row(b, 0)), int(tbitmap_get_stride(b)));
}

// pixman's colours are premultiplied 16-bit channels.
pixman_color_t premultiplied(uint32_t word) {
  uint32_t a = word >> 24;
  auto channel = [a](uint32_t c) { return uint16_t((c * a + 127) / 255 * 257); };
  return {channel((word >> 16) & 0xFF), channel((word >> 8) & 0xFF), channel(word & 0xFF), uint16_t(a * 257)};
}

void BM_pixman_over_solid_8888(benchmark::State &state, area a) {
  pixman_image_t *dst = wrap(the_canvases().dst, PIXMAN_a8r8g8b8);
  pixman_color_t color = premultiplied(k_translucent);
  pixman_image_t *solid = pixman_image_create_solid_fill(&color);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, solid, nullptr, dst, 0, 0, 0, 0, a.x, a.y, a.width, a.height);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(solid);
  pixman_image_unref(dst);
}

void BM_pixman_fill_8888(benchmark::State &state, area a) {
  tbitmap *dst = the_canvases().dst;
  uint32_t *bits = reinterpret_cast<uint32_t *>(tbitmap_get_row(dst, 0));
  int stride = int(tbitmap_get_stride(dst) / 4);
  for (auto _ : state) {
    pixman_fill(bits, stride, 32, a.x, a.y, a.width, a.height, k_opaque);
    benchmark::ClobberMemory();
  }
}

void BM_pixman_over_x888_solid_8888(benchmark::State &state, area a) {
  canvases &c = the_canvases();
  pixman_image_t *src = wrap(c.src, PIXMAN_x8r8g8b8), *dst = wrap(c.dst, PIXMAN_a8r8g8b8);
  pixman_color_t alpha = {0, 0, 0, uint16_t(128 * 257)};
  pixman_image_t *mask = pixman_image_create_solid_fill(&alpha);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, a.x, a.y, a.width, a.height);
    benchmark::ClobberMemory();
  }
  for (pixman_image_t *i : {src, mask, dst}) pixman_image_unref(i);
}

void BM_pixman_src_8888_0565(benchmark::State &state, int32_t width) {
  canvases &c = the_canvases();
  pixman_image_t *src = wrap(c.present_src, PIXMAN_a8r8g8b8), *dst = wrap(c.present_dst, PIXMAN_r5g6b5);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, width, k_side);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(src);
  pixman_image_unref(dst);
}

BENCHMARK_CAPTURE(BM_pixman_over_solid_8888, whole, k_whole)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_pixman_over_solid_8888, inner, k_inner)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_pixman_fill_8888, whole, k_whole)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_pixman_fill_8888, inner, k_inner)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_pixman_over_x888_solid_8888, whole, k_whole)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_pixman_over_x888_solid_8888, inner, k_inner)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_pixman_src_8888_0565, w2000, 2000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_pixman_src_8888_0565, w7, 7)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_pixman_src_8888_0565, w24, 24)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_pixman_src_8888_0565, w40, 40)->Unit(benchmark::kMicrosecond);

#endif

// "ours/size" against "theirs/size" for each size of one operation.
std::vector<std::pair<std::string, std::string>> sizes(const std::string &ours, const std::string &theirs,
                                                      std::initializer_list<const char *> names) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const char *n : names) pairs.push_back({ours + "/" + n, theirs + "/" + n});
  return pairs;
}

}  // namespace

BENCH_WORST_RATIO("fill_alpha128_32_vs_pixman",
                  sizes("BM_fill_alpha128_32", "BM_pixman_over_solid_8888", {"whole", "inner"}), 1.0);
BENCH_WORST_RATIO("blend_alpha128_32_vs_pixman",
                  sizes("BM_blend_alpha128_32", "BM_pixman_over_x888_solid_8888", {"whole", "inner"}), 1.0);
BENCH_WORST_RATIO("fill_opaque_32_vs_pixman", sizes("BM_fill_opaque_32", "BM_pixman_fill_8888", {"whole", "inner"}),
                  1.0);
static int fill_path_note = bench_register_note("fill_opaque_32_path");
BENCH_WORST_RATIO("blit_keyed_32_565_vs_pixman",
                  sizes("BM_present_32_565", "BM_pixman_src_8888_0565", {"w2000", "w7", "w24", "w40"}), 1.0);
