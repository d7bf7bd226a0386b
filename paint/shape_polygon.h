// shape_polygon: the Triangle (ids 301/302, 3 sides), Rhombus (303/304,
// 4 sides, rotated) and Pentagon (305/306, 5 sides) tools, outline (mode 1)
// or filled (mode 2).
//
// Unrotated polygons are centred on the start point with their first vertex
// at the end point; the rotated one is inscribed in the dragged box with its
// vertices at the middles of the box's edges.
#pragma once

#include <cairo.h>

#include <cstdint>

#include "shape.h"

shape *shape_polygon_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                         int32_t mode, int32_t sides, int32_t rotate, void *extra);
void shape_polygon_free(shape *tool);

// The polygon's path in stored coordinates; box gets its dirty box. 0 (no
// path) when an unrotated polygon has no radius or sides is below 1.
int shape_polygon_path(cairo_t *cr, int32_t sides, int32_t rotate, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                       double box[4]);
