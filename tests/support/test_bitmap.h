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
