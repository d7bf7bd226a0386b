// Spans of a row wait on a stack with the direction they were found from;
// each is walked left and right, painting every pixel of the seed colour as
// it is passed, and the painted pixels are what stop later walks, so nothing
// else is kept. Spans reaching past the one they came from leak back towards
// its row. It paints the whole pixel, the bench's canvas being opaque.
#include "span_fill.h"

#include <cstddef>

void textbook_span_fill(uint32_t *pixels, int32_t width, int32_t height, int32_t sx, int32_t sy, uint32_t colour,
                        std::vector<span_fill_entry> &stack) {
  const uint32_t target = pixels[size_t(sy) * width + sx] & 0xFFFFFF;
  if ((colour & 0xFFFFFF) == target) return;
  auto at = [&](int32_t x, int32_t y) -> uint32_t & { return pixels[size_t(y) * width + x]; };
  auto inside = [&](int32_t x, int32_t y) { return (at(x, y) & 0xFFFFFF) == target; };
  stack.clear();
  auto push = [&](int32_t y, int32_t x1, int32_t x2, int32_t dy) {
    if (y + dy >= 0 && y + dy < height) stack.push_back({y, x1, x2, dy});
  };
  push(sy, sx, sx, 1);
  push(sy + 1, sx, sx, -1);
  while (!stack.empty()) {
    span_fill_entry e = stack.back();
    stack.pop_back();
    const int32_t y = e.y + e.dy, x1 = e.x1, x2 = e.x2, dy = e.dy;
    int32_t x = x1;
    for (; x >= 0 && inside(x, y); x--) at(x, y) = colour;
    int32_t left = x + 1;
    bool skip = x >= x1;
    if (!skip) {
      if (left < x1) push(y, left, x1 - 1, -dy);
      x = x1 + 1;
    }
    do {
      if (!skip) {
        for (; x < width && inside(x, y); x++) at(x, y) = colour;
        push(y, left, x - 1, dy);
        if (x > x2 + 1) push(y, x2 + 1, x - 1, -dy);
      }
      skip = false;
      for (x++; x <= x2 && !inside(x, y); x++) {
      }
      left = x;
    } while (x <= x2);
  }
}
