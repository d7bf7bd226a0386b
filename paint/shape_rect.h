// shape_rect: the Rectangle (ids 101/102) and Round Rectangle (103/104) tools,
// two-point tools in outline (mode 1) or filled (mode 2) form.
//
// The rectangle is drawn on the raw points, so a drag up or left gives a
// negative width or height that covers the same pixels as the normalised box;
// it strokes with miter joins and butt caps (cairo's defaults, set on every
// draw). The round rectangle has corner radii of 20 canvas pixels at the time
// of drawing, halved sides when the box is too small, and round caps and joins.
#pragma once

#include <cairo.h>

#include <cstdint>

#include "shape.h"

shape *shape_rect_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history, int32_t mode,
                      void *extra);
shape *shape_roundrect_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                           int32_t mode, void *extra);
void shape_rect_free(shape *tool);
void shape_roundrect_free(shape *tool);

// Paths in stored coordinates; box gets the normalised box (min x, min y,
// max x, max y). Both always build a path.
int shape_rect_path(cairo_t *cr, int32_t x0, int32_t y0, int32_t x1, int32_t y1, double box[4]);
int shape_roundrect_path(cairo_t *cr, int32_t x0, int32_t y0, int32_t x1, int32_t y1, double box[4]);
