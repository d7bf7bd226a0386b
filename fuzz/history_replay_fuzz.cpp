// Replays arbitrary history records, as a document may carry them, through
// every drawing tool of the tool modules and the application's replays of
// text, pictures and crops. Besides not crashing or hanging,
// the shared cairo context must come out usable and the canvas opaque.
//
// Input: byte 0 picks the zoom of the painting; then records, each
//   u8 tool (index into the table below), u8 pen size, u8 rubber size,
//   u8 alpha, u8 zoom of the record (index, some of them bad), u16 length,
//   then that many payload bytes (fewer when the input ends; a length of
//   65535 takes the whole rest of the input, so a payload may be as long as
//   a document's).
// The input's length picks the road of the replay: even a rebuild, odd an
// undo.
// The painting has the program's pixel budget: a record costs here what it
// costs a user.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "fuzz_canvas.h"
#include "fuzz_file.h"
#include "imagebar.h"
#include "paint_context.h"
#include "paint_history.h"
#include "paint_main.h"
#include "shape_brush1.h"
#include "shape_circle.h"
#include "shape_curve.h"
#include "shape_flood.h"
#include "shape_heart.h"
#include "shape_line.h"
#include "shape_pencil.h"
#include "shape_pentagram.h"
#include "shape_polygon.h"
#include "shape_rect.h"
#include "shape_rubber.h"
#include "tbitmap.h"
#include "textbar.h"

namespace {

// An operation no tool and no replay knows: its records draw nothing.
constexpr int32_t NO_OPERATION = 77;
const int32_t OPERATIONS[] = {SHAPE_ID_PENCIL,       SHAPE_ID_LINE,     SHAPE_ID_ERASER,           SHAPE_ID_SPRAY,
                              SHAPE_ID_RECT,         SHAPE_ID_FILLED_ROUNDRECT, SHAPE_ID_ELLIPSE, SHAPE_ID_FILLED_CIRCLE,
                              SHAPE_ID_TRIANGLE,     SHAPE_ID_FILLED_RHOMBUS,   SHAPE_ID_PENTAGON, SHAPE_ID_PENTAGRAM,
                              SHAPE_ID_FILLED_HEART, PAINT_HISTORY_OP_CLEAR,    PAINT_HISTORY_OP_TEXT,
                              PAINT_HISTORY_OP_CROP, PAINT_HISTORY_OP_IMAGE, NO_OPERATION,       SHAPE_ID_PAINT_BUCKET,
                              SHAPE_ID_CURVE};
const double PAINTING_ZOOMS[] = {1.0, 0.5, 2.0, 0.37, 3.0};
const double RECORD_ZOOMS[] = {1.0, 2.0, 0.25, 0.0, -1.0, 1e-300, 1e300, std::numeric_limits<double>::quiet_NaN()};

struct painting {
  paint_context *pc;
  paint_history *history;
  shape *tools[15];
};

painting *the_painting() {
  static painting *p = [] {
    fuzz_use_own_home("history_replay");
    painting *made = new painting();
    tcolor black = {0, 0, 0, 255}, white = {255, 255, 255, 255}, yellow = {0, 255, 255, 255};
    made->pc = paint_context_new(nullptr, 96, 64, black, yellow, white, 5, 0, 0, 0, 9);
    made->history = paint_history_new(made->pc, nullptr);
    paint_history_set_use_checkpoints(made->history, 0);
    // The application's replays, as it installs them.
    paint_history_hooks hooks = {};
    hooks.draw_text = textbar_draw_text_record;
    hooks.draw_image = imagebar_draw_image_record;
    hooks.apply_crop = paint_main_apply_crop;
    paint_history_set_hooks(made->history, &hooks);
    paint_context *pc = made->pc;
    paint_history *h = made->history;
    shape **t = made->tools;
    t[0] = shape_pencil_new(SHAPE_ID_PENCIL, u"Pencil", pc, h, nullptr);
    t[1] = shape_line_new(SHAPE_ID_LINE, u"Line", pc, h, nullptr);
    t[2] = shape_rubber_new(SHAPE_ID_ERASER, u"Eraser", pc, h, nullptr);
    t[3] = shape_brush1_new(SHAPE_ID_SPRAY, u"Spray Brush", pc, h, nullptr);
    t[4] = shape_rect_new(SHAPE_ID_RECT, u"Rectangle", pc, h, 1, nullptr);
    t[5] = shape_roundrect_new(SHAPE_ID_FILLED_ROUNDRECT, u"Round Rectangle", pc, h, 2, nullptr);
    t[6] = shape_circle_new(SHAPE_ID_ELLIPSE, u"Ellipse", pc, h, 1, nullptr);
    t[7] = shape_circle_new(SHAPE_ID_FILLED_CIRCLE, u"Circle", pc, h, 4, nullptr);
    t[8] = shape_polygon_new(SHAPE_ID_TRIANGLE, u"Triangle", pc, h, 1, 3, 0, nullptr);
    t[9] = shape_polygon_new(SHAPE_ID_FILLED_RHOMBUS, u"Rhombus", pc, h, 2, 4, 1, nullptr);
    t[10] = shape_polygon_new(SHAPE_ID_PENTAGON, u"Pentagon", pc, h, 1, 5, 0, nullptr);
    t[11] = shape_pentagram_new(SHAPE_ID_PENTAGRAM, u"Pentagram", pc, h, 1, nullptr);
    t[12] = shape_heart_new(SHAPE_ID_FILLED_HEART, u"Heart", pc, h, 2, nullptr);
    t[13] = shape_flood_new(SHAPE_ID_PAINT_BUCKET, u"Paint Bucket", pc, h, nullptr);
    t[14] = shape_curve_new(SHAPE_ID_CURVE, u"Curve", pc, h, nullptr);
    for (shape *tool : made->tools) paint_context_add_tool(pc, tool);
    return made;
  }();
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  painting *p = the_painting();
  if (paint_context_set_zoom(p->pc, PAINTING_ZOOMS[data[0] % 5]) != 1) return 0;
  size_t at = 1;
  while (at + 7 <= size) {
    const uint8_t *head = data + at;
    size_t length = size_t(head[5]) | size_t(head[6]) << 8;
    at += 7;
    length = length == 0xFFFF ? size - at : std::min(length, size - at);
    paint_history_record *record = paint_history_record_new(
        OPERATIONS[head[0] % (sizeof OPERATIONS / sizeof OPERATIONS[0])], data + at, int32_t(length));
    at += length;
    if (!record) break;
    // Pens as wide as the stored byte allows make large dabs; a quarter of
    // that range keeps each run short without leaving any code out.
    record->_pen_size = head[1] % 64;
    record->_rubber_size = head[2] % 64;
    record->_fore_color = {10, 200, 30, head[3]};
    record->_zoom = RECORD_ZOOMS[head[4] % 8];
    if (!paint_history_append_record(p->history, record)) {
      paint_history_record_free(record);
      break;
    }
  }
  // Every record is replayed once, by one of the two roads a user takes: the
  // rebuild of an open or a zoom, or an undo, which replays all but the last
  // record (here one of no operation put after the input's). Both roads in
  // one input made each input cost two replays.
  int32_t count = paint_history_get_count(p->history);
  paint_history_record *nothing = nullptr;
  if (size % 2 == 1) nothing = paint_history_record_new(NO_OPERATION, nullptr, 0);
  if (nothing && paint_history_append_record(p->history, nothing)) {
    paint_history_set_position(p->history, count);
    paint_history_undo(p->history);
  } else {
    if (nothing) paint_history_record_free(nothing);
    paint_history_set_position(p->history, count - 1);
    paint_history_rebuild(p->history);
  }
  fuzz_canvas_check(p->pc);
  // The records go with their input: one left for the next input reads to
  // libFuzzer as a leak, and it runs the input again to look for it.
  paint_history_reset(p->history);
  return 0;
}
