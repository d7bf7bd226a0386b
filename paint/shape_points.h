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
// The most points an opaque stroke is drawn with in one go; a longer piece is
// drawn as consecutive pieces of at most this many, each starting at the
// last point of the one before. A live batch (the points of one loop turn)
// is far shorter, so strokes drawn by hand are stroked exactly as before.
constexpr int32_t SHAPE_POINTS_PIECE_POINTS = 256;

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
// object's run, and the last batch at pen-up); on_up runs after the stroke
// was recorded (may be null). signal_always chooses cancel-and-signal
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
void shape_points_finish(shape *tool);

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
// set: as one path when `whole`, else piece by piece (as the batches were
// drawn live, a piece longer than SHAPE_POINTS_PIECE_POINTS in parts); the path is kept for the next batch with `keep`. The scale
// wraps the path, not the width. Before painting, `guard` (may be null) is
// asked with the dirty rectangle of a whole stroke and may refuse the painting. Gives the dirty
// rectangle (the batch's box inflated by width + 1); 0 when nothing was pending.
int shape_points_stroke(shape_points *tool, cairo_t *cr, double scale, double width, int whole, int keep,
                        int (*guard)(shape_points *tool, const trect *dirty), trect *dirty);
// The stroke as its payload bytes (little-endian, in place); valid until the
// next change of the stroke. The count of bytes goes to *size.
const uint8_t *shape_points_payload(shape_points *tool, int32_t *size);
