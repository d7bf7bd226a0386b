// Bitmaps in tests.
#include "test_bitmap.h"

void test_fill_random(tbitmap *b, std::mt19937 &rng, uint32_t one_in) {
  for (uint32_t i = 0; i < tbitmap_get_image_size(b); i++) {
    uint32_t pick = rng() % one_in;
    b->_pixels[i] = pick == 0 ? 0 : pick == 1 ? 0xFF : uint8_t(rng());
  }
}

test_bytes test_bmp_file(int32_t width, int32_t height, int bpp, size_t palette, size_t data, uint32_t header) {
  test_bytes b(14 + header + palette + data, 0);
  b[0] = 'B', b[1] = 'M';
  test_put32(b, 2, uint32_t(b.size()));
  test_put32(b, 10, uint32_t(14 + header + palette));
  test_put32(b, 14, header);
  test_put32(b, 18, uint32_t(width));
  test_put32(b, 22, uint32_t(height));
  test_put16(b, 26, 1);
  test_put16(b, 28, uint32_t(bpp));
  return b;
}

uint32_t test_rgb(const tbitmap *b, int32_t x, int32_t y) {
  tcolor c = {};
  tbitmap_get_pixel_color(b, x, y, &c);
  return uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue;
}

std::vector<int32_t> test_shape(const tbitmap *b) {
  return {tbitmap_get_width(b), tbitmap_get_height(b), tbitmap_get_bpp(b), tbitmap_is_top_down(b) ? 1 : 0};
}
