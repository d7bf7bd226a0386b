// shape_pencil: the Pencil tool (id 1), a free-hand polyline in the drawing
// colour with round caps and joins.
//
// An opaque stroke is drawn batch by batch. A translucent one (alpha below
// 255 at pen-down) is painted through its coverage (shape_points_cover), so
// that where the stroke crosses itself it is not darker: each batch adds its
// own pieces and repaints its own rectangle over the pen-down pixels.
#pragma once

#include <cstdint>

#include "shape_points.h"

struct shape_pencil {
  shape_points _points;
  int32_t _translucent;
  shape_points_cover _cover;
};

static_assert(std::is_standard_layout_v<shape_pencil>, "tools are cast to their base");

// Null when memory is short.
shape *shape_pencil_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                        void *extra);
void shape_pencil_free(shape *tool);
