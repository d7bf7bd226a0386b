// tscrollbar: a vertical or horizontal scroll bar. The thumb's length shows
// the page against the range and its place the position; the pen drags the
// thumb or pages with a tap beside it, the direction keys step.
//
// Owns its two thumb drawers (normal and pressed); the track is the control's
// box drawer. The thumb rect is recomputed on every draw, in bar coordinates.
// A draw of the whole bar into its own buffer that would give what the
// buffer already holds (same buffer, thumb rect, pressed state and looks, no
// paint hooks) is left out: a position step too small to move the thumb
// draws nothing.
// Invariant: min <= position <= max whenever max >= min.
#pragma once

#include <cstdint>
#include <type_traits>

#include "tbdrawer.h"
#include "tcontrol.h"

struct tscrollbar;

// Called with the new position after the user moved it.
typedef void (*tscrollbar_change_fn)(tscrollbar *scrollbar, int32_t position);
// A paint hook leaves *draw at 1 to let the default drawing run after it.
typedef void (*tscrollbar_paint_fn)(tscrollbar *scrollbar, tcanvas *canvas, const trect *rect, int *draw);

// What the last whole draw into the bar's own buffer showed; no buffer:
// nothing is known to be there.
struct tscrollbar_drawn {
  const tbitmap *buffer;
  int32_t width, height;
  trect thumb_rect;
  uint8_t dragging;
  tbdrawer track, thumb, pressed;  // their looks, caches left out
};

struct tscrollbar {
  tcontrol _control;
  int32_t _vertical;
  int32_t _min, _max, _pos, _page;
  trect _thumb;
  tbdrawer *_thumb_drawer;
  tbdrawer *_pressed_thumb_drawer;
  int32_t _step, _page_step;
  uint8_t _dragging;
  uint8_t _no_page_tap;
  tscrollbar_change_fn _on_change;
  tscrollbar_paint_fn _on_track_paint;
  tscrollbar_paint_fn _on_thumb_paint;
  int32_t _press_pos;
  int32_t _press_x, _press_y;
  tscrollbar_drawn _drawn;
};

static_assert(std::is_standard_layout_v<tscrollbar>, "a scroll bar is cast to its control");

// Range 0-10, position 0, page 1, step 1, page step 1.
int tscrollbar_init(tscrollbar *scrollbar, tcontrol *parent, const trect *rect, int vertical, void *owner);
tscrollbar *tscrollbar_new(tcontrol *parent, const trect *rect, int vertical, void *owner);
void tscrollbar_deinit(tscrollbar *scrollbar);
void tscrollbar_free(tscrollbar *scrollbar);

// A position outside the new range becomes the minimum.
void tscrollbar_set_min(tscrollbar *scrollbar, int32_t min);
void tscrollbar_set_max(tscrollbar *scrollbar, int32_t max);
// Clamped to the range; no repaint, no callback.
void tscrollbar_set_pos(tscrollbar *scrollbar, int32_t position);
int32_t tscrollbar_get_pos(const tscrollbar *scrollbar);
// Both accepted only for 0 <= value <= max - min. The page step is kept for
// the owner; the bar pages by the page.
void tscrollbar_set_step(tscrollbar *scrollbar, int32_t step);
void tscrollbar_set_page_step(tscrollbar *scrollbar, int32_t step);
// The visible size in range units, clamped to 0 .. max - min + 2.
void tscrollbar_set_page(tscrollbar *scrollbar, int32_t page);
tbdrawer *tscrollbar_get_thumb_drawer(const tscrollbar *scrollbar);
tbdrawer *tscrollbar_get_pressed_thumb_drawer(const tscrollbar *scrollbar);
void tscrollbar_set_paint_hooks(tscrollbar *scrollbar, tscrollbar_paint_fn track, tscrollbar_paint_fn thumb);
int tscrollbar_is_dragging(const tscrollbar *scrollbar);
void tscrollbar_set_vertical(tscrollbar *scrollbar, int vertical);
// Returns the callback it replaces.
tscrollbar_change_fn tscrollbar_set_on_change(tscrollbar *scrollbar, tscrollbar_change_fn on_change);
// Taps beside the thumb no longer page.
void tscrollbar_set_no_page_tap(tscrollbar *scrollbar, int flag);
