// tform: the scrollable container, the content area of every dialog and of
// the application's command panel, tool bar and help viewer.
//
// Keeps its children in an entry array with their home rects (their rects at
// scroll offset 0), shows a vertical and a horizontal scroll bar when the
// content is larger than the view, moves a keyboard focus among the children
// with the arrow keys (a light blue frame 2 pixels outside the focused one),
// and scrolls by keys, bars or pen drags, optionally animated and with
// inertia on a 10 ms timer.
//
// Owns the entries, both bars and the focus frame; borrows the children (their
// owner frees them, before the form). The child slots enumerate the entries,
// then the frame, the vertical and the horizontal bar, so those lie on top.
// Invariants: a child sits at home - (scroll x, scroll y); the timer handle is
// 0 whenever no animation runs; the focus index is -1 or a valid entry.
// An update after a scroll that changed nothing else moves the buffer's view
// by the scroll and redraws only what that uncovers and the parts outside
// the view, which gives the pixels of a full redraw as long as the
// background under the view is one opaque colour (checked each time).
#pragma once

#include <cstdint>
#include <type_traits>

#include "tcontrol.h"
#include "tscrollbar.h"

struct tform;

struct tform_entry {
  int32_t _id;
  tcontrol *_control;
  trect _home;
};

typedef void (*tform_layout_fn)(tform *form, const trect *rect);
// Called before the children move; delta is how far the content moves along
// the axis scrolled (the vertical one when both are).
typedef void (*tform_scroll_fn)(tform *form, int32_t delta);
typedef void (*tform_notify_fn)(tform *form);

struct tform {
  tcontrol _control;
  tform_entry **_entries;
  int32_t _count, _capacity;
  tscrollbar *_hbar, *_vbar;
  int32_t _bar_size;
  uint8_t _always_show_h, _always_show_v, _hide_h, _hide_v;
  tcontrol *_focus_frame;
  uint8_t _focus_frame_hidden;
  trect _content;  // the extent widened by the right and bottom margins
  trect _extent;   // the union of the home rects and (0, 0)
  trect _view;
  int32_t _scroll_y, _scroll_x;
  int32_t _step;
  int32_t _focus;
  int32_t _margin_left, _margin_top, _margin_right, _margin_bottom;
  uint8_t _dragging;
  int32_t _press_x, _press_y, _last_x, _last_y;
  uint8_t _lock_v, _lock_h, _drag_through;
  uint32_t _timer;
  uint8_t _animated;
  int32_t _start_x, _target_x, _start_y, _target_y, _current_x, _current_y;
  int32_t _speed_x, _speed_y;
  int32_t _threshold_x, _threshold_y;
  int32_t _animation_steps;
  uint32_t _last_move_time;
  int32_t _velocity_x, _velocity_y;
  tform_layout_fn _on_layout;
  tform_scroll_fn _on_scroll;
  tform_notify_fn _on_pen_down, _on_pen_up;
  // While a child or owner callback runs: cleared if that callback frees the form.
  bool *_alive;
  // What the buffer was last drawn for: the scroll offsets and a signature of
  // everything else it shows (see drawn_signature); _drawn 0: unknown.
  uint8_t _drawn;
  int32_t _drawn_scroll_x, _drawn_scroll_y;
  uint64_t _drawn_signature;
};

static_assert(std::is_standard_layout_v<tform>, "a form is cast to its control");

int tform_init(tform *form, tcontrol *parent, const trect *rect, void *owner);
tform *tform_new(tcontrol *parent, const trect *rect, void *owner);
// Frees the entries, bars and frame; the children stay with their owner.
void tform_deinit(tform *form);
void tform_free(tform *form);

// The child keeps its current rect as its home and is reparented to the form.
// 0 (nothing changed) when the entry cannot be allocated.
int tform_add_child(tform *form, int32_t id, tcontrol *control);
// Frees the entry, not the control; no relayout (the children stay where
// they are), but the content and the bars follow. 0 when it is not a child.
int tform_remove_child(tform *form, tcontrol *control);
void tform_clear_children(tform *form);
tcontrol *tform_get_child_by_id(const tform *form, int32_t id);
int32_t tform_get_child_count(const tform *form);
tcontrol *tform_get_child_at(const tform *form, int32_t index);
int32_t tform_get_child_index(const tform *form, const tcontrol *control);

// 0 when the control is not focusable or not a child.
int tform_set_focus(tform *form, tcontrol *control);
// Offsets back to 0, focus on the first focusable child in view.
void tform_focus_first(tform *form);
void tform_scroll_to_focused(tform *form);
void tform_set_focus_frame_hidden(tform *form, int hidden);

void tform_set_scrollbar_size(tform *form, int32_t size);
tscrollbar *tform_get_vscrollbar(const tform *form);
void tform_set_hscroll_hidden(tform *form, int hidden);
void tform_set_vscroll_hidden(tform *form, int hidden);
void tform_set_vdrag_locked(tform *form, int locked);
void tform_set_hdrag_locked(tform *form, int locked);
void tform_set_drag_through_children(tform *form, int flag);
void tform_set_animated_scroll(tform *form, int animated);
// Insets of the client rect, applied at the next layout; right and bottom
// also extend the content, at once.
void tform_set_margins(tform *form, int32_t left, int32_t top, int32_t right, int32_t bottom);
void tform_reset_scroll_offsets(tform *form);
// Home = current rect + offsets, for every child; the content follows.
void tform_save_child_rects(tform *form);
const trect *tform_get_content_rect(const tform *form);
int32_t tform_get_drag_dx(const tform *form);
int32_t tform_get_drag_dy(const tform *form);

// Each returns the callback it replaces.
tform_layout_fn tform_set_on_layout(tform *form, tform_layout_fn on_layout);
tform_scroll_fn tform_set_on_scroll(tform *form, tform_scroll_fn on_scroll);
tform_notify_fn tform_set_on_pen_down(tform *form, tform_notify_fn on_pen_down);
tform_notify_fn tform_set_on_pen_up(tform *form, tform_notify_fn on_pen_up);

// Sees every home rect any form measures into its extent, the work that keeps
// the content rect (a test installs it to weigh adds and removals; null:
// none). Returns the hook it replaces.
typedef void (*tform_measure_fn)(const tform *form, const trect *home);
tform_measure_fn tform_set_measure_hook(tform_measure_fn hook);
