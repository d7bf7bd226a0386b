// Colours, points and inclusive rectangles: the value types every layer passes.
//
// tcolor is four bytes blue, green, red, alpha; read as one little-endian word
// it is 0xAARRGGBB (the "colour word"). The key word 0x00BBGGRR is a separate
// form (colour keys, settings, the palette); -1 means "no key".
// trect has both corners inclusive: a normalised rect covers x2 - x1 + 1 columns.
#pragma once

#include <cstdint>

struct tcolor {
  uint8_t blue;
  uint8_t green;
  uint8_t red;
  uint8_t alpha;
};

struct tpoint {
  int32_t x;
  int32_t y;
};

struct trect {
  int32_t x1;
  int32_t y1;
  int32_t x2;
  int32_t y2;
};

tcolor *tcolor_make(tcolor *dst, int r, int g, int b, int a);
// Typed constructors between the three forms: (R, G, B, A) values, the
// tcolor bytes and the key word 0x00BBGGRR (red in the low byte).
constexpr tcolor tcolor_rgba(int r, int g, int b, int a = 255) {
  return tcolor{uint8_t(b), uint8_t(g), uint8_t(r), uint8_t(a)};
}
constexpr uint32_t tcolor_key_rgb(int r, int g, int b) {
  return uint32_t(uint8_t(r)) | uint32_t(uint8_t(g)) << 8 | uint32_t(uint8_t(b)) << 16;
}
constexpr tcolor tcolor_of_key(uint32_t key, int a = 255) {
  return tcolor_rgba(int(key & 0xFF), int(key >> 8 & 0xFF), int(key >> 16 & 0xFF), a);
}
constexpr uint32_t tcolor_key_of(tcolor c) { return tcolor_key_rgb(c.red, c.green, c.blue); }
// The colour word of a tcolor (0xAARRGGBB).
uint32_t tcolor_to_word(const tcolor *c);

int trect_is_equal(const trect *a, const trect *b);
int trect_is_intersecting(const trect *a, const trect *b);
void trect_normalize(trect *r);
int trect_intersect(trect *out, const trect *a, const trect *b);
void trect_union(trect *out, const trect *a, const trect *b);
