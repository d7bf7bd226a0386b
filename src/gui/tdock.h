// tdock: the container of the application's bars. A dock floats at a place of
// its own or is docked to one side of its parent's client rect (the screen
// for a top-level dock). Dragged by its body it moves; near a side a preview
// shows where it would attach and releasing the pen there docks it; dragged
// away from its side it floats again. A press held on the frame (the band
// between the dock's edge and its client rect) enters a resize mode with
// eight zones, left at pen-up. The content comes from the owner's child
// callbacks.
//
// Owns two overlays: the preview (a control beside the dock, in its parent,
// realised at creation and hidden) and the frame (a child of the dock covering
// it, shown only in resize mode), and the hold timer while it runs.
// Invariants: the hold timer handle is 0 whenever the timer does not run;
// the side is 0 (floating) or 1-4, the dock's alignment code for that side.
#pragma once

#include <cstdint>
#include <type_traits>

#include "tcontrol.h"

struct tdock;

enum {
  TDOCK_FLOATING = 0,
  TDOCK_LEFT = 1,
  TDOCK_TOP = 2,
  TDOCK_RIGHT = 3,
  TDOCK_BOTTOM = 4,
};

// 0 refuses the side.
typedef int (*tdock_can_dock_fn)(tdock *dock, int32_t side);
typedef void (*tdock_notify_fn)(tdock *dock);
// x, y relative to the dock; 0: a press there starts no drag.
typedef int (*tdock_can_drag_fn)(tdock *dock, int32_t x, int32_t y);
// One resize step by zone (1-8) in the parent's coordinates; may adjust the
// values, 0 refuses the step.
typedef int (*tdock_resize_fn)(tdock *dock, int32_t zone, int32_t *x, int32_t *y, int32_t *width, int32_t *height);
typedef int32_t (*tdock_child_count_fn)(tdock *dock);
typedef tcontrol *(*tdock_child_at_fn)(tdock *dock, int32_t index);
typedef int (*tdock_key_fn)(tdock *dock, uint32_t code, uint32_t repeat, uint32_t modifiers);

struct tdock {
  tcontrol _control;
  int32_t _margin_left, _margin_right, _margin_top, _margin_bottom;
  trect _floating_rect;
  // Thickness last had on each side; -1 while the dock has not been there.
  int32_t _top_height, _left_width, _right_width, _bottom_height;
  int32_t _side;
  tdock_can_dock_fn _can_dock;
  tdock_notify_fn _on_move;
  tdock_notify_fn _on_drag_end;
  tdock_can_drag_fn _can_drag;
  tdock_resize_fn _resize_check;
  tdock_child_count_fn _child_count;
  tdock_child_at_fn _child_at;
  tdock_key_fn _on_key;
  int32_t _snap_distance;
  tcontrol *_preview;
  int32_t _pending_side;  // what the preview shows, 0 none
  tcontrol *_frame;
  uint8_t _dragging;
  uint8_t _pressed;
  tpoint _last;  // parent coordinates
  tpoint _grab;  // from the dock's top-left
  uint8_t _resizing;
  int32_t _zone;
  uint32_t _hold_timer;
  int32_t _hold_time;
};

static_assert(std::is_standard_layout_v<tdock>, "a dock is cast to its control");

int tdock_init(tdock *dock, tcontrol *parent, const trect *rect, void *owner);
// Null when memory or either overlay cannot be had.
tdock *tdock_new(tcontrol *parent, const trect *rect, void *owner);
void tdock_deinit(tdock *dock);
void tdock_free(tdock *dock);

void tdock_set_margins(tdock *dock, int32_t left, int32_t top, int32_t right, int32_t bottom);
// Each returns the callback it replaces.
tdock_can_drag_fn tdock_set_can_drag_func(tdock *dock, tdock_can_drag_fn fn);
tdock_can_dock_fn tdock_set_can_dock_func(tdock *dock, tdock_can_dock_fn fn);
tdock_notify_fn tdock_set_on_move(tdock *dock, tdock_notify_fn fn);
tdock_notify_fn tdock_set_on_drag_end(tdock *dock, tdock_notify_fn fn);
tdock_resize_fn tdock_set_resize_func(tdock *dock, tdock_resize_fn fn);
tdock_key_fn tdock_set_key_func(tdock *dock, tdock_key_fn fn);
void tdock_set_child_funcs(tdock *dock, tdock_child_count_fn count, tdock_child_at_fn at);
void tdock_set_hold_time(tdock *dock, int32_t ms);
void tdock_set_snap_distance(tdock *dock, int32_t pixels);

// Starts a drag from outside the pen handler; x, y in the parent's coordinates.
void tdock_begin_drag(tdock *dock, int32_t x, int32_t y);
int tdock_is_dragging(const tdock *dock);
// Docks to side 1-4 or floats (0); 0 when the can-dock callback refuses the
// side or the side is not one of those.
int tdock_set_side(tdock *dock, int32_t side);
