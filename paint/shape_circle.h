// shape_circle: the Ellipse (ids 201/202, modes 1/2) and Circle (203/204,
// modes 3/4) tools: an ellipse inscribed in the dragged box, or a circle in
// the box made square with side min(w, h).
//
// The square keeps the top-left corner of a drag right and down, and the
// bottom-right corner of a drag in any other direction.
#pragma once

#include <cairo.h>

#include <cstdint>

#include "shape.h"

shape *shape_circle_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                        int32_t mode, void *extra);
void shape_circle_free(shape *tool);

// The ellipse's path in stored coordinates; box gets the (squared) box.
int shape_circle_path(cairo_t *cr, int32_t mode, int32_t x0, int32_t y0, int32_t x1, int32_t y1, double box[4]);
