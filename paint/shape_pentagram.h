// shape_pentagram: the Pentagram tools (ids 307/308, outline or filled): a
// five-pointed star centred on the start point with its first outer point at
// the end point; the inner points lie on R x cos(2 pi / 5) / cos(pi / 5).
#pragma once

#include <cairo.h>

#include <cstdint>

#include "shape.h"

shape *shape_pentagram_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                           int32_t mode, void *extra);
void shape_pentagram_free(shape *tool);

// The star's path in stored coordinates; 0 (no path) when the points are equal.
int shape_pentagram_path(cairo_t *cr, int32_t x0, int32_t y0, int32_t x1, int32_t y1, double box[4]);
