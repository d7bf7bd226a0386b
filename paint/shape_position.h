// shape_position: the Pan tool (id 6). Dragging moves the canvas on the
// screen by the pen's movement; nothing is recorded. After each move the
// owner hears of it (so whatever follows the canvas, the resize frame, can
// follow), the navigation thumbnail is repainted when there is one, and the
// whole screen is painted again.
//
// The extra word given at creation is the application's state (app_context),
// from which the tool takes the thumbnail; without one it only moves the view.
#pragma once

#include <cstdint>

#include "shape.h"

typedef void (*shape_position_move_fn)(shape *tool);

struct shape_position {
  shape _base;
  int32_t _last_x, _last_y;  // pen point of the last event, screen coordinates
  shape_position_move_fn _on_move;
};

static_assert(std::is_standard_layout_v<shape_position>, "tools are cast to their base");

// Null when memory is short.
shape *shape_position_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                          void *extra);
void shape_position_free(shape *tool);
// Returns the previous callback.
shape_position_move_fn shape_position_set_on_move(shape *tool, shape_position_move_fn fn);
