// Colours, points and inclusive rectangles.
#include "trect.h"

#include <algorithm>
#include <utility>

#include "port_log.h"

tcolor *tcolor_make(tcolor *dst, int r, int g, int b, int a) {
  PORT_CHECK(dst != nullptr);
  dst->blue = uint8_t(b);
  dst->green = uint8_t(g);
  dst->red = uint8_t(r);
  dst->alpha = uint8_t(a);
  return dst;
}

uint32_t tcolor_to_word(const tcolor *c) {
  PORT_CHECK(c != nullptr);
  return uint32_t(c->blue) | uint32_t(c->green) << 8 | uint32_t(c->red) << 16 | uint32_t(c->alpha) << 24;
}

int trect_is_equal(const trect *a, const trect *b) {
  PORT_CHECK(a != nullptr && b != nullptr);
  return a->x1 == b->x1 && a->y1 == b->y1 && a->x2 == b->x2 && a->y2 == b->y2;
}

// The comparisons are strict on purpose: rectangles that share only an edge
// column or row do not intersect, and callers rely on that.
int trect_is_intersecting(const trect *a, const trect *b) {
  PORT_CHECK(a != nullptr && b != nullptr);
  int32_t l = std::max(a->x1, b->x1), t = std::max(a->y1, b->y1);
  int32_t r = std::min(a->x2, b->x2), btm = std::min(a->y2, b->y2);
  return l < r && t < btm;
}

void trect_normalize(trect *r) {
  PORT_CHECK(r != nullptr);
  if (r->x1 > r->x2) std::swap(r->x1, r->x2);
  if (r->y1 > r->y2) std::swap(r->y1, r->y2);
}

int trect_intersect(trect *out, const trect *a, const trect *b) {
  PORT_CHECK(out != nullptr && a != nullptr && b != nullptr);
  trect r = {std::max(a->x1, b->x1), std::max(a->y1, b->y1), std::min(a->x2, b->x2), std::min(a->y2, b->y2)};
  *out = r;
  return r.x1 < r.x2 && r.y1 < r.y2;
}

void trect_union(trect *out, const trect *a, const trect *b) {
  PORT_CHECK(out != nullptr && a != nullptr && b != nullptr);
  trect ca = *a, cb = *b;
  trect_normalize(&ca);
  trect_normalize(&cb);
  *out = {std::min(ca.x1, cb.x1), std::min(ca.y1, cb.y1), std::max(ca.x2, cb.x2), std::max(ca.y2, cb.y2)};
}
