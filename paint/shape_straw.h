// shape_straw: the Color Picker tool (id 8). While the pen is down a small
// swatch above it shows the colour of the canvas pixel under the pen (the
// point is first kept on the canvas, so a pen beside it reads the nearest
// edge pixel); at pen-up the swatch goes and the owner receives the colour.
// Nothing is recorded.
//
// The swatch is a top-level control of the tool's own: 22, 45 or 90 pixels
// square on the small, normal and large screen classes, 5 pixels above the
// pen (on the large class further left and up by half its size, clear of a
// finger), always kept on the screen.
//
// Colours are handed over as red + green x 256 + blue x 65536.
#pragma once

#include <cstdint>

#include "shape.h"

struct tcontrol;

typedef void (*shape_straw_pick_fn)(shape *tool, uint32_t color);

struct shape_straw {
  shape _base;
  tcontrol *_popup;
  uint32_t _color;
  shape_straw_pick_fn _on_pick;
};

static_assert(std::is_standard_layout_v<shape_straw>, "tools are cast to their base");

// Null when memory is short.
shape *shape_straw_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history, void *extra);
void shape_straw_free(shape *tool);
// Returns the previous callback.
shape_straw_pick_fn shape_straw_set_on_pick(shape *tool, shape_straw_pick_fn fn);

// Where the swatch stands for a pen point on a screen of this size.
trect shape_straw_popup_rect(int32_t x, int32_t y, int32_t screen_width, int32_t screen_height);
