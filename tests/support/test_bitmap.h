// Bitmaps in tests: owned by a smart pointer, filled with bytes biased to the
// extremes, read back as plain colour words.
#pragma once

#include <memory>
#include <random>
#include <vector>

#include "tbitmap.h"
#include "test_env.h"

struct test_bitmap_deleter {
  void operator()(tbitmap *b) const {
    if (b) tbitmap_free(b);
  }
};
using bitmap_ptr = std::unique_ptr<tbitmap, test_bitmap_deleter>;

inline bitmap_ptr test_bitmap(int32_t width, int32_t height, int bpp) {
  return bitmap_ptr(tbitmap_new(width, height, bpp));
}

// Every byte of the pixels: 0x00 or 0xFF one time in `one_in` each, else random.
void test_fill_random(tbitmap *b, std::mt19937 &rng, uint32_t one_in = 6);

// Width, height, depth and 1 for top-down rows, to compare in one go.
std::vector<int32_t> test_shape(const tbitmap *b);

// The headers of a BMP file (an info header of `header` bytes) with
// `palette` bytes after them and room for `data` bytes of rows.
test_bytes test_bmp_file(int32_t width, int32_t height, int bpp, size_t palette, size_t data, uint32_t header = 40);

// The pixel's colour as 0xRRGGBB, whatever the depth.
uint32_t test_rgb(const tbitmap *b, int32_t x, int32_t y);
// The pixel bytes, to compare a bitmap before and after.
test_bytes test_pixel_bytes(const tbitmap *b);
// Red (k 0), green (1) or blue (2) as a level of the bitmap's own depth: 5 or
// 6 bits at 16 bits per pixel (through the channel masks), else 8.
int test_level(const tbitmap *b, int32_t x, int32_t y, int k);
// Levels per 8-bit channel value at the bitmap's depth (1 but at 16 bits).
double test_level_scale(const tbitmap *b, int k);
// A picture whose every pixel tells where it came from (opaque 0xAARRGGBB,
// the fourth byte `fourth` at 32 bits, none below).
uint32_t test_pattern_at(int32_t x, int32_t y);
bitmap_ptr test_pattern_bitmap(int32_t width, int32_t height, int bpp, uint8_t fourth = 255);
