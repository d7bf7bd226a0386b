// shape_line: the Line tool (id 2), a two-point tool that strokes the
// segment from the start point to the end point with round caps and joins.
#pragma once

#include <cairo.h>

#include <cstdint>

#include "shape.h"

shape *shape_line_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history, void *extra);
void shape_line_free(shape *tool);

// The segment's path in stored coordinates; box gets min x, min y, max x, max y.
int shape_line_path(cairo_t *cr, int32_t x0, int32_t y0, int32_t x1, int32_t y1, double box[4]);
