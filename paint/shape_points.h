// shape_points: what the free-hand tools (pencil, eraser, spray brush) share:
// the two point arrays, the pen protocol that gathers points and draws them in
// batches from an active object, and the stored stroke form.
//
// Pending points are the ones not drawn yet; the stroke holds every point of
// the stroke so far and is the history payload. Each batch after the first is
// stored as the marker (65535, 65535), then the previous batch's last point,
// then its new points, so consecutive batches join and a replay can draw the
// stroke piece by piece exactly as it was drawn live.
//
// A translucent stroke is painted through its coverage (shape_points_cover):
// every piece is stroked opaque into an 8-bit mask where overlaps keep the
// larger coverage, so the stroke does not darken where it crosses itself, and
// the colour is painted through the mask. A batch strokes only its own pieces
// and repaints only its own rectangle, so a batch costs what its points cost
// however long the stroke already is.
//
// Invariants:
// - the stroke holds every point that was drawn, and nothing that was not: a
//   point the arrays cannot take ends the stroke there (later points of the
//   same stroke are neither drawn nor recorded);
// - a flush never runs on the arrays of a finished stroke: pen-up cancels a
//   pending one before it draws the last batch itself.
#pragma once

#include <cairo.h>

#include <cstdint>

#include "shape.h"

constexpr int32_t SHAPE_POINTS_GROWTH = 1024;
// The most points a stroke is drawn with in one go; a longer piece is drawn
// as consecutive pieces of at most this many, each starting at the last point
// of the one before. A live batch (the points of one loop turn) is far
// shorter, so strokes drawn by hand are stroked exactly as before.
constexpr int32_t SHAPE_POINTS_PIECE_POINTS = 256;

// The coverage of a translucent stroke over the part of the canvas it has
// touched: an A8 mask of _area (device pixels, inside the canvas), and for a
// live stroke the canvas pixels of _area as they were at pen-down, so that a
// batch puts back and repaints its own rectangle only. The area grows by at
// least half its size at a time, so growing costs in proportion to the final
// area. When memory runs short the cover is given up (_failed) and the rest
// of the stroke is stroked straight onto the canvas.
struct shape_points_cover {
  uint8_t *_mask;
  int32_t _mask_stride;
  uint32_t *_under;  // _area's width per row; only when _keep_under
  trect _area;       // meaningful while _mask is set
  uint8_t *_scratch;  // one piece's coverage
  size_t _scratch_size;
  int32_t _keep_under;
  int32_t _failed;
  // The canvas the cover belongs to: a new canvas (a zoom, an open) starts
  // the cover afresh.
  const uint8_t *_canvas_data;
  int32_t _canvas_width, _canvas_height, _canvas_stride;
};

struct shape_points_protocol;

struct shape_points {
  shape _base;
  tpoint *_pending;
  int32_t _pending_count, _pending_capacity;
  win_ao *_flush;
  tpoint *_stroke;
  int32_t _stroke_count, _stroke_capacity;
  int32_t _full;       // the arrays refused a point: the stroke ends where it is
  int32_t _replaying;  // the points came from set_data: no stroke is gathered
  int32_t _finishing;  // the flush running is pen-up's last one
  const shape_points_protocol *_protocol;
};

static_assert(std::is_standard_layout_v<shape_points>, "tools are cast to their base");

// How a tool draws one batch: for every pending point in order the walk calls
// `move` (the point starts a piece: the first point, or the one after a
// marker) or `line` (the point continues the piece).
struct shape_points_walk {
  void (*move)(void *user, int32_t x, int32_t y);
  void (*line)(void *user, int32_t x, int32_t y);
  void *user;
};

// The pen protocol's tool-specific steps: on_down runs at pen-down after the
// first point is taken (may be null); flush draws what is pending (the active
// object's run, and the last batch at pen-up); on_up runs once the stroke has
// ended, before it is recorded (may be null). signal_always chooses cancel-and-signal
// (eraser, spray) over signalling only when no flush is pending (pencil).
struct shape_points_protocol {
  void (*on_down)(shape_points *tool);
  void (*flush)(shape_points *tool);
  void (*on_up)(shape_points *tool);
  int signal_always;
};

// Allocates both arrays (1024 points each); 0 when either fails (nothing is
// kept then). Sets the input, query and set_data slots.
int shape_points_init(shape_points *tool, int32_t id, const char16_t *name, paint_context *context,
                      paint_history *history, void *extra, const shape_points_protocol *protocol);
void shape_points_deinit(shape_points *tool);
int32_t shape_points_input(shape *tool, int32_t type, int32_t x, int32_t y, int32_t modifiers);

// A stroke under way ends as its pen-up would, what was drawn recorded, so
// that something else (an undo) may work on the canvas; later moves and the
// pen-up of that stroke find the tool idle. Nothing happens between strokes.
// 1 when a stroke was under way.
int shape_points_finish(shape *tool);

// reset: both counts to 0 (the tools add their own fields).
void shape_points_reset(shape_points *tool);
// set_data of the free-hand tools: the payload's whole points become the
// pending points (a trailing partial point is ignored); the stroke is emptied.
void shape_points_set_data(shape *tool, const void *payload, int32_t length);

// Moves the pending points into the stroke with the batch joins and reports
// each to the walk; box gets the bounding box of the real points (markers
// left out); pending keeps only its last point. 0 when nothing was pending.
int shape_points_take_batch(shape_points *tool, const shape_points_walk *walk, int32_t box[4]);
// Strokes the pending batch with cr's source, width, cap and join already
// set, piece by piece (as the batches were drawn live, a piece longer than
// SHAPE_POINTS_PIECE_POINTS, or 64 points on a cover, in parts). With a
// cover (cr's target an ARGB32 image) the pieces go into its mask and the
// batch's rectangle is painted with cr's source through it. The scale wraps the path, not the width. Gives
// the dirty rectangle (the batch's box inflated by width + 1); 0 when nothing
// was pending.
int shape_points_stroke(shape_points *tool, cairo_t *cr, double scale, double width, shape_points_cover *cover,
                        trect *dirty);
// A cover starts empty; keep_under for a stroke painted in several batches.
void shape_points_cover_begin(shape_points_cover *cover, int keep_under);
void shape_points_cover_end(shape_points_cover *cover);
// The stroke as its payload bytes (little-endian, in place); valid until the
// next change of the stroke. The count of bytes goes to *size.
const uint8_t *shape_points_payload(shape_points *tool, int32_t *size);
