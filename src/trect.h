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
// The colour word of a tcolor (0xAARRGGBB).
uint32_t tcolor_to_word(const tcolor *c);

int trect_is_equal(const trect *a, const trect *b);
int trect_is_intersecting(const trect *a, const trect *b);
void trect_normalize(trect *r);
int trect_intersect(trect *out, const trect *a, const trect *b);
void trect_union(trect *out, const trect *a, const trect *b);
