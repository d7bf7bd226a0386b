// shape_text: the Text tool (id 7). The user drags out a box, shown as a
// dashed grey rectangle while dragging; at pen-up the box leaves the canvas
// and is handed to the owner (normalised, canvas coordinates), which opens
// the text bar over it. The tool records nothing: the text bar records the
// text it stamps. A tap (no drag) hands over nothing.
//
// The preview is a two-point preview: the box is drawn over the canvas of
// pen-down, whose pixels under every box drawn are kept aside and put back
// at pen-up or when the drag is cancelled.
#pragma once

#include <cstdint>

#include "shape.h"

typedef void (*shape_text_place_fn)(shape *tool, const trect *box);

struct shape_text {
  shape_two_point _points;
  shape_text_place_fn _on_place;
};

static_assert(std::is_standard_layout_v<shape_text>, "tools are cast to their base");

// Null when memory is short.
shape *shape_text_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history, void *extra);
void shape_text_free(shape *tool);
// Returns the previous callback.
shape_text_place_fn shape_text_set_on_place(shape *tool, shape_text_place_fn fn);
