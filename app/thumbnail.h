// thumbnail: the navigation thumbnail: the whole canvas scaled down inside
// the control, with a 2-pixel frame around the part the screen shows; a tap
// recentres the view on the tapped point.
//
// Owns the scaled copy of the canvas and the frame drawer; borrows the
// painting context. The copy is renewed by thumbnail_update, never by
// painting, so a repaint costs one blit.
// Invariant: s = thumbnail width / canvas width, and the copy is
// trunc(canvas width x s) by trunc(canvas height x s) (at least 1 x 1).
#pragma once

#include <cstdint>
#include <type_traits>

#include "tbdrawer.h"
#include "tcontrol.h"

struct paint_context;
struct thumbnail;

typedef void (*thumbnail_move_fn)(thumbnail *pt);

struct thumbnail {
  tcontrol _control;
  paint_context *_paint_context;
  tbitmap *_scaled;
  int32_t _asked_width, _asked_height;  // the size the copy was made for (fitting may trim it)
  tbdrawer *_frame;
  int32_t _view_width, _view_height;
  trect _view_rect;  // thumbnail (control) coordinates, inclusive
  thumbnail_move_fn _on_move;
  double _scale;
};

static_assert(std::is_standard_layout_v<thumbnail>, "the thumbnail is cast to its control");

// Null when memory is lacking.
thumbnail *thumbnail_new(tcontrol *parent, const trect *rect, paint_context *pc, void *owner);
void thumbnail_free(thumbnail *pt);
// Renews the scaled copy from the canvas as it is now.
void thumbnail_update(thumbnail *pt);
// Renews, then realises.
void thumbnail_realize(thumbnail *pt);
void thumbnail_set_on_move(thumbnail *pt, thumbnail_move_fn fn);
// Where the scaled canvas sits in the control (its top-left).
tpoint thumbnail_get_offset(const thumbnail *pt);
