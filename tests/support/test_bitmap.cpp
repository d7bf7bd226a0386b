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

test_bytes test_pixel_bytes(const tbitmap *b) { return test_bytes(b->_pixels, b->_pixels + tbitmap_get_image_size(b)); }

int test_level(const tbitmap *b, int32_t x, int32_t y, int k) {
  const uint8_t *p = tbitmap_get_pixel_ptr(b, x, y);
  if (tbitmap_get_bpp(b) != 16) return p[2 - k];
  const uint32_t masks[3] = {b->_red_mask, b->_green_mask, b->_blue_mask};
  const uint32_t shifts[3] = {b->_red_shift, b->_green_shift, b->_blue_shift};
  return int(((p[0] | p[1] << 8) & masks[k]) >> shifts[k]);
}

double test_level_scale(const tbitmap *b, int k) {
  const uint32_t losses[3] = {b->_red_loss, b->_green_loss, b->_blue_loss};
  return tbitmap_get_bpp(b) == 16 ? 1.0 / double(1u << losses[k]) : 1.0;
}

uint32_t test_pattern_at(int32_t x, int32_t y) {
  return 0xFF000000u | uint32_t(x * 7 & 0xFF) << 16 | uint32_t(y * 5 & 0xFF) << 8 | uint32_t((x + y) & 0xFF);
}

bitmap_ptr test_pattern_bitmap(int32_t width, int32_t height, int bpp, uint8_t fourth) {
  bitmap_ptr b = test_bitmap(width, height, bpp);
  for (int32_t y = 0; y < tbitmap_get_height(b.get()); y++)
    for (int32_t x = 0; x < width; x++)
      tbitmap_set_pixel(b.get(), x, y, (test_pattern_at(x, y) & 0xFFFFFF) | (bpp == 32 ? uint32_t(fourth) << 24 : 0));
  return b;
}
