// shape_heart: the Heart tools (ids 309/310, outline or filled): two cubic
// lobes from the notch (the start point) to the tip (the end point), each its
// own sub-path, so filling fills the two lobes.
#pragma once

#include <cairo.h>

#include <cstdint>

#include "shape.h"

shape *shape_heart_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                       int32_t mode, void *extra);
void shape_heart_free(shape *tool);

// The heart's path in stored coordinates; box gets the points' box widened by
// the four control points. 0 (no path) when the points are equal.
int shape_heart_path(cairo_t *cr, int32_t x0, int32_t y0, int32_t x1, int32_t y1, double box[4]);
