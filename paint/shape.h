// shape: the drawing-tool base, the two-point pen protocol and the preview
// backup every previewing tool shares.
//
// Every tool record begins with a `shape` (id, names, the slot table, the
// painting and history it works on) and the tool's own fields follow. The
// canvas hooks hand pen events to `shape_input`; the history replays a record
// by `shape_set_data` (the stored payload) and `shape_draw` (with a scale).
//
// Two-point tools (line, rectangles, ellipses, polygons, pentagram, heart)
// share `shape_two_point`: pen-down takes the start, moves set the end and
// signal one preview active object (so a burst of moves costs one preview),
// pen-up records the 16-byte payload.
//
// Invariants:
// - a preview only ever changes canvas pixels that the tool's backup holds as
//   they were at pen-down, so putting the backup back undoes every preview,
//   on the screen and off it;
// - what pen-up records is exactly what the canvas shows: a pending preview is
//   run first, a drag back to its start leaves the canvas as it was;
// - every draw sets the line cap and join it needs, so a replay draws the same
//   pixels whichever tool drew before it.
//
// Payload forms (little-endian, canvas coordinates):
//
//   | tool kind                 | bytes | layout                                  |
//   |---------------------------|-------|-----------------------------------------|
//   | two-point tools           | 16    | start x, start y, end x, end y (i32)    |
//   | pencil, eraser, spray     | 8 n   | n points x, y (i32); (65535, 65535)     |
//   |                           |       | separates pieces of the stroke          |
#pragma once

#include <cairo.h>

#include <cstdint>
#include <type_traits>

#include "port_log.h"
#include "tbitmap.h"
#include "trect.h"

struct paint_context;
struct paint_history;
struct win_ao;
struct shape;

// Tool ids; each is also the history operation of the tool's records.
enum {
  SHAPE_ID_PENCIL = 1,
  SHAPE_ID_LINE = 2,
  SHAPE_ID_ERASER = 5,
  SHAPE_ID_PAN = 6,
  SHAPE_ID_TEXT = 7,
  SHAPE_ID_COLOR_PICKER = 8,
  SHAPE_ID_PAINT_BUCKET = 9,
  SHAPE_ID_CURVE = 10,
  SHAPE_ID_SPRAY = 12,
  SHAPE_ID_RECT = 101,
  SHAPE_ID_FILLED_RECT = 102,
  SHAPE_ID_ROUNDRECT = 103,
  SHAPE_ID_FILLED_ROUNDRECT = 104,
  SHAPE_ID_ELLIPSE = 201,
  SHAPE_ID_FILLED_ELLIPSE = 202,
  SHAPE_ID_CIRCLE = 203,
  SHAPE_ID_FILLED_CIRCLE = 204,
  SHAPE_ID_TRIANGLE = 301,
  SHAPE_ID_FILLED_TRIANGLE = 302,
  SHAPE_ID_RHOMBUS = 303,
  SHAPE_ID_FILLED_RHOMBUS = 304,
  SHAPE_ID_PENTAGON = 305,
  SHAPE_ID_FILLED_PENTAGON = 306,
  SHAPE_ID_PENTAGRAM = 307,
  SHAPE_ID_FILLED_PENTAGRAM = 308,
  SHAPE_ID_HEART = 309,
  SHAPE_ID_FILLED_HEART = 310,
};

// Pen event types of the input slot.
enum { SHAPE_PEN_DOWN = 1, SHAPE_PEN_UP = 2, SHAPE_PEN_MOVE = 3 };

// Drawing modes of the two-point shapes: 1 stroke, 2 fill; the ellipse tool
// also has 3 circle stroke and 4 circle fill. Other values build the path only.
enum { SHAPE_MODE_OUTLINE = 1, SHAPE_MODE_FILLED = 2, SHAPE_MODE_CIRCLE_OUTLINE = 3, SHAPE_MODE_CIRCLE_FILLED = 4 };

// The point that separates pieces of a free-hand stroke.
constexpr int32_t SHAPE_POINT_MARKER = 65535;

constexpr int SHAPE_NAME_CHARS = 64;
constexpr int SHAPE_DESCRIPTION_CHARS = 1024;
constexpr int SHAPE_TWO_POINT_PAYLOAD = 16;

typedef int32_t (*shape_input_slot)(shape *tool, int32_t type, int32_t x, int32_t y, int32_t modifiers);
typedef int32_t (*shape_query_slot)(shape *tool);
typedef void (*shape_draw_slot)(shape *tool, cairo_t *cr, const trect *rect, double scale);
typedef void (*shape_reset_slot)(shape *tool);
typedef void (*shape_data_slot)(shape *tool, const void *payload, int32_t length);
typedef int32_t (*shape_reserved_slot)(shape *tool);

struct shape {
  int32_t _id;
  char16_t _name[SHAPE_NAME_CHARS];
  char16_t _description[SHAPE_DESCRIPTION_CHARS];
  shape_input_slot _input;
  shape_query_slot _query;
  shape_draw_slot _draw;
  shape_reset_slot _reset;
  shape_data_slot _set_data;
  shape_reserved_slot _reserved;
  int32_t _active;
  paint_context *_context;
  paint_history *_history;
  void *_extra;
};

// The canvas pixels a preview may change, as they were at pen-down. It holds
// one rectangle of the canvas and grows with the previews; it belongs to the
// canvas it was taken from and is dropped when that canvas is replaced.
struct shape_backup {
  tbitmap *_pixels;
  trect _area;  // canvas rect held; meaningful only while _pixels is set
  const uint8_t *_canvas_pixels;
  int32_t _canvas_width, _canvas_height;
};

// The record every two-point tool uses; the mode fields are read by the
// shapes that need them (mode by all but the line, sides and rotate by the
// polygons).
struct shape_two_point {
  shape _base;
  int32_t _x0, _y0, _x1, _y1;
  win_ao *_preview;
  trect _remembered;
  int32_t _remembered_set;
  int32_t _preview_shown;  // the canvas shows the preview of the current points
  int32_t _backup_mode;    // set by the preview around its draw (shape.cpp)
  int32_t _has_points;     // the points came from the pen or a whole payload
  shape_backup _backup;
  int32_t _backup_short;   // the pen-up drawing went beyond what the backup holds
  int32_t _mode;
  int32_t _sides;
  int32_t _rotate;
};

static_assert(std::is_standard_layout_v<shape>, "tools are cast to their base");
static_assert(std::is_standard_layout_v<shape_two_point>, "tools are cast to their base");

int shape_init(shape *tool, int32_t id, const char16_t *name, paint_context *context, paint_history *history,
               void *extra);
void shape_deinit(shape *tool);

int32_t shape_get_id(const shape *tool);
const char16_t *shape_get_name(const shape *tool);
const char16_t *shape_get_description(const shape *tool);
void shape_set_description(shape *tool, const char16_t *text);
void shape_set_active(shape *tool, int32_t flag);
int32_t shape_is_active(const shape *tool);
paint_context *shape_get_context(const shape *tool);
paint_history *shape_get_history(const shape *tool);
void *shape_get_extra(const shape *tool);

void shape_set_input_fn(shape *tool, shape_input_slot fn);
void shape_set_query_fn(shape *tool, shape_query_slot fn);
void shape_set_draw_fn(shape *tool, shape_draw_slot fn);
void shape_set_reset_fn(shape *tool, shape_reset_slot fn);
void shape_set_data_fn(shape *tool, shape_data_slot fn);
void shape_set_reserved_fn(shape *tool, shape_reserved_slot fn);

// Dispatchers: an empty slot does nothing (input answers 0).
int32_t shape_input(shape *tool, int32_t type, int32_t x, int32_t y, int32_t modifiers);
void shape_draw(shape *tool, cairo_t *cr, const trect *rect, double scale);
void shape_reset(shape *tool);
void shape_set_data(shape *tool, const void *payload, int32_t length);

// A step a tool drew and the history refused (memory short) is told to the
// owner through one hook for every tool, after the step left the canvas;
// the tool calls it as the last thing it does. Gives the hook it replaces.
typedef void (*shape_refused_fn)(shape *tool);
shape_refused_fn shape_set_on_refused(shape_refused_fn fn);
void shape_report_refused(shape *tool);

// Records a step the canvas already shows. A step the history refuses does
// not stay on the canvas: put_back(user) takes it off when given and able
// (answers 1), else the history is replayed; when the replay finds no
// memory either, the canvas still shows the step and the history is offered
// it once more. 1 when the step is recorded.
int shape_record_step(paint_history *history, int32_t operation, const void *payload, int32_t size,
                      int (*put_back)(void *user), void *user);

// The callbacks every tool may install in the reserved slots.
int32_t shape_query_none(shape *tool);
int32_t shape_reserved_true(shape *tool);

// Common drawing conventions.
// The line width every vector tool strokes with: pen size x current zoom.
double shape_line_width(const paint_context *pc);
// The dirty rectangle of a bounding box (doubles, canvas coordinates)
// inflated by line width + 1 on every side, truncated, kept in 32 bits.
trect shape_dirty_rect(double min_x, double min_y, double max_x, double max_y, double line_width);

// Refreshes the dirty rectangle united with the one remembered from the
// draws before it (so the area of an earlier, larger preview is repainted
// too), and remembers the union. remembered_set says whether one is held.
void shape_refresh_remembered(paint_context *pc, trect *remembered, int32_t *remembered_set, const trect *dirty);

// The angle of the vector from (x0, y0) to (x1, y1) of length r > 0, as the
// star-shaped tools take it: acos(dx / r), negated when y1 <= y0. The cosine
// is kept within [-1, 1] so that rounding never makes a NaN.
double shape_angle_of(int32_t x0, int32_t y0, int32_t x1, int32_t y1, double r);

// The preview backup. begin forgets what was held; extend (called while the
// canvas holds no preview, i.e. after restore) makes the backup cover `area`
// too, clipped to the canvas, and answers 0 when it cannot; restore puts the
// held pixels back and gives the rect it restored (0 when nothing was held);
// end frees the copy.
void shape_backup_begin(shape_backup *backup);
int shape_backup_extend(shape_backup *backup, paint_context *pc, const trect *area);
int shape_backup_restore(shape_backup *backup, paint_context *pc, trect *restored);
// The same for the part of the held pixels within `part` only (a preview
// that knows where the last one drew).
int shape_backup_restore_part(shape_backup *backup, paint_context *pc, const trect *part, trect *restored);
void shape_backup_end(shape_backup *backup);

// Two-point tools. new gives a zero-filled record with the slots set (null
// when memory is short); free cancels and frees the preview and the backup.
shape *shape_two_point_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                           shape_draw_slot draw, int32_t mode, int32_t sides, int32_t rotate, void *extra);
void shape_two_point_free(shape *tool);
int shape_two_point_init(shape_two_point *tool, int32_t id, const char16_t *name, paint_context *context,
                         paint_history *history, shape_draw_slot draw, int32_t mode, int32_t sides, int32_t rotate,
                         void *extra);
void shape_two_point_deinit(shape_two_point *tool);
int32_t shape_two_point_input(shape *tool, int32_t type, int32_t x, int32_t y, int32_t modifiers);
// The preview: puts back the canvas as it was at pen-down, then draws the
// shape at scale 1.0 (nothing when the end equals the start).
void shape_two_point_preview(shape_two_point *tool);
// set_data of the two-point tools: takes exactly a 16-byte payload; any other
// length leaves no shape, so a damaged record draws nothing.
void shape_copy_two_points(shape *tool, const void *payload, int32_t length);
void shape_two_point_reset(shape *tool);
// Ends a drag without recording it: a pending preview is dropped and the
// canvas of pen-down put back. Does nothing while no drag runs.
void shape_two_point_cancel(shape *tool);
// Ends a drag as its pen-up would: the shape shown is recorded. 1 when a
// drag was under way.
int shape_two_point_finish(shape *tool);

// How a two-point draw paints its path.
enum shape_paint { SHAPE_PAINT_NONE, SHAPE_PAINT_STROKE, SHAPE_PAINT_FILL };
// Modes 1 and 3 stroke, 2 and 4 fill, any other builds the path only.
shape_paint shape_paint_of_mode(int32_t mode);
// Builds a shape's path in stored coordinates; answers 0 when there is no
// shape to draw (degenerate points) and otherwise sets the dirty box (stored
// coordinates, before inflation by the line width).
typedef int (*shape_path_fn)(const shape_two_point *tool, cairo_t *cr, double *box);

// One two-point draw with the common conventions: line width, colour, the
// cap and join, the scale wrapper around the path, stroke or fill, and the
// refresh of the dirty rectangle united with the remembered one.
void shape_two_point_render(shape_two_point *tool, cairo_t *cr, double scale, cairo_line_cap_t cap,
                            cairo_line_join_t join, shape_paint paint, shape_path_fn path);
