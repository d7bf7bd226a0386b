// shape_flood: the Paint Bucket tool (id 9). A pen-down inside the canvas
// flood-fills the area under the pen with the drawing colour (its alpha
// included) and records the seed; nothing else of the gesture matters.
//
// The tolerance follows the current zoom, not the record's: a replay at
// another zoom fills with the tolerance of that zoom, as the live tap would.
//
// Payload (8 bytes, little-endian): seed x, seed y (i32, canvas coordinates).
// Any other length is no fill at all.
#pragma once

#include <cstdint>

#include "shape.h"

constexpr int32_t SHAPE_FLOOD_PAYLOAD = 8;

struct shape_flood {
  shape _base;
  int32_t _seed_x, _seed_y;  // (-1, -1) when none
  int32_t _has_seed;         // the seed came from the pen or a whole payload
};

static_assert(std::is_standard_layout_v<shape_flood>, "tools are cast to their base");

// Null when memory is short.
shape *shape_flood_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history, void *extra);
void shape_flood_free(shape *tool);

// The fill tolerance at a zoom: 32 from 0.25 up, 16 from 0.125, else 0
// (only the seed's own colour).
int shape_flood_tolerance(double zoom);
