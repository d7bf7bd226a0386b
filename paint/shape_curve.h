// shape_curve: the Curve tool (id 10), one cubic Bezier curve made in two
// stages. First the user drags a straight line; its two control points are
// put on it at a third and two thirds of the way. Then the curve is edited:
// four round handles mark the start, the end and the two controls, and
// dragging a handle bends the curve. A tap away from every handle (pen-up
// within the handle size of its pen-down) ends the editing and records the
// curve, drawn without handles.
//
// While editing, an overlay control with an empty rect, owned by the tool,
// takes the pen capture and hands every pen event to the tool, wherever it
// lands. The handles are painted into the canvas itself; every preview
// starts by putting back the canvas of the first pen-down (the preview
// backup of the tool base), so the recorded canvas carries no handle.
//
// Invariant: outside the rect the last draw refreshed, the canvas and the
// screen hold the picture of the first pen-down; so a preview puts back and
// shows again that rect only (with its own).
//
// Payload (64 bytes, little-endian doubles, canvas coordinates):
//
//   | offset | field                  |
//   |--------|------------------------|
//   | 0      | start x, start y       |
//   | 16     | end x, end y           |
//   | 32     | control 1 x, y         |
//   | 48     | control 2 x, y         |
//
// A payload of any other length, or one holding a value that is not a finite
// number, draws nothing; values beyond the 32-bit range are taken at its edge.
#pragma once

#include <cstdint>

#include "shape.h"

struct win_ao;
struct tcontrol;

constexpr int32_t SHAPE_CURVE_PAYLOAD = 64;
constexpr int32_t SHAPE_CURVE_HANDLE = 20, SHAPE_CURVE_HANDLE_LARGE = 30;

enum { SHAPE_CURVE_START, SHAPE_CURVE_END, SHAPE_CURVE_CONTROL1, SHAPE_CURVE_CONTROL2, SHAPE_CURVE_POINTS };

struct shape_curve {
  shape _base;
  int32_t _reserved;
  double _points[SHAPE_CURVE_POINTS][2];  // start, end, control 1, control 2 (x, y)
  win_ao *_preview;
  trect _remembered;  // the rect the last draw refreshed
  int32_t _remembered_set;
  trect _handles[SHAPE_CURVE_POINTS];  // hit areas of the points
  int32_t _editing;                    // 0 the line stage, 1 the editing stage
  int32_t _selected;                   // handle being dragged, -1 none
  int32_t _handle_size;
  int32_t _down_x, _down_y;  // screen point of the last pen-down while editing
  tcontrol *_overlay;        // holds the pen while editing
  int32_t _has_points;       // the points came from the pen or a whole payload
  int32_t _previewing;       // set by the preview around its draw
  int32_t _drawn;            // the last draw reached the canvas
  shape_backup _backup;
  int32_t _backup_short;     // the final drawing went beyond what the backup holds
  // One handle drawn once for its radius: its colours and their coverage.
  tbitmap *_stamp_color, *_stamp_mask;
  int32_t _stamp_radius;
};

static_assert(std::is_standard_layout_v<shape_curve>, "tools are cast to their base");

// The handle size is 30 on the large screen class, else 20. Null when memory
// is short.
shape *shape_curve_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history, void *extra);
void shape_curve_free(shape *tool);
// Ends the line drag or the editing without recording: the canvas of the
// first pen-down comes back and the overlay goes. Does nothing while idle.
void shape_curve_cancel(shape *tool);
// Ends the editing as a tap away from the handles would: the curve as shown
// is recorded, drawn without handles. A line drag still under way is
// cancelled instead; nothing happens while idle. 1 when either was under way.
int shape_curve_finish(shape *tool);
