// The textbook span fill, the spiral flood fill's reference. It has a
// translation unit of its own, built with the project's flags, so that it
// runs as that algorithm compiled on its own runs and not as whatever the
// benchmark around it lets the compiler make of it.
#pragma once

#include <cstdint>
#include <vector>

struct span_fill_entry {
  int32_t y, x1, x2, dy;
};

// Paints with colour the 4-connected region of the seed's colour (the low
// 24 bits compared) around (sx, sy) in a top-down picture of whole 32-bit
// pixels; the stack is the caller's, kept between fills.
void textbook_span_fill(uint32_t *pixels, int32_t width, int32_t height, int32_t sx, int32_t sy, uint32_t colour,
                        std::vector<span_fill_entry> &stack);
