// shape_rubber: the Eraser tool (id 5), a free-hand polyline that paints the
// picture's background back: the opened picture at the current zoom, or the
// new-picture colour for a painting started blank. Always opaque, drawn batch
// by batch with round caps and joins, rubber size x zoom wide.
#pragma once

#include <cstdint>

#include "shape_points.h"

// Null when memory is short.
shape *shape_rubber_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                        void *extra);
void shape_rubber_free(shape *tool);
