// Replays the text bar's and the image bar's records (history operations
// 1007 and 1009) made of arbitrary bytes, as a document may carry them, at
// arbitrary scales, straight or through the history with a zoom of the
// record other than the painting's. Besides not crashing or taking long,
// the canvas must stay opaque and the cairo context usable.
//
// Input: byte 0 picks the kind (bit 0: 0 text, 1 picture), the road (bit 1:
// 0 straight at a scale, 1 through the history at a record zoom) and the
// scale or zoom (the rest); the rest of the input is the payload (any
// length; the real forms are (n + 57) x 2 bytes of text and 32 + I + M bytes
// of picture).
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <string>

#include "fuzz_canvas.h"
#include "fuzz_file.h"
#include "imagebar.h"
#include "paint_context.h"
#include "paint_history.h"
#include "tbitmap.h"
#include "textbar.h"

namespace {

const double SCALES[] = {1.0, 2.0, 0.5, 0.37, 3.0, 1e-9, 1e9, 0.0, -1.0, std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::infinity()};

const double RECORD_ZOOMS[] = {0.5, 2.0, 0.25, 1.0, 0.37, 4.0, 1e-300, std::numeric_limits<double>::quiet_NaN()};
// The largest payload taken: a document's records may be this long and more.
constexpr size_t MAX_PAYLOAD = 512 * 1024;

struct painting {
  paint_context *pc;
  paint_history *history;
};

// The program's own canvas and pixel budget: what a record costs here is
// what it costs a user.
painting *the_painting() {
  static painting *p = [] {
    fuzz_use_own_home("bar_record");
    tcolor white = {255, 255, 255, 255}, black = {0, 0, 0, 255};
    painting *made = new painting();
    made->pc = paint_context_new(nullptr, 480, 640, black, white, white, 5, 0, 0, 0, 9);
    if (!made->pc) std::abort();
    made->history = paint_history_new(made->pc, nullptr);
    paint_history_set_use_checkpoints(made->history, 0);
    paint_history_hooks hooks = {};
    hooks.draw_text = textbar_draw_text_record;
    hooks.draw_image = imagebar_draw_image_record;
    paint_history_set_hooks(made->history, &hooks);
    return made;
  }();
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  painting *p = the_painting();
  paint_context *pc = p->pc;
  paint_context_clear(pc);
  size_t length = std::min<size_t>(size - 1, MAX_PAYLOAD);
  int32_t operation = (data[0] & 1) ? PAINT_HISTORY_OP_IMAGE : PAINT_HISTORY_OP_TEXT;
  if (data[0] & 2) {
    // The road of an open, undo or zoom: scale = painting zoom / record zoom.
    paint_history_record *record = paint_history_record_new(operation, data + 1, int32_t(length));
    if (!record) return 0;
    record->_zoom = RECORD_ZOOMS[(data[0] >> 2) % (sizeof RECORD_ZOOMS / sizeof RECORD_ZOOMS[0])];
    if (!paint_history_append_record(p->history, record)) {
      paint_history_record_free(record);
      return 0;
    }
    paint_history_set_position(p->history, 0);
    paint_history_rebuild(p->history);
    // The record goes with its input: one left for the next input reads to
    // libFuzzer as a leak, and it runs the input again to look for it.
    paint_history_reset(p->history);
  } else {
    // The history hands payloads over in heap blocks of their own.
    uint8_t *payload = static_cast<uint8_t *>(std::malloc(length ? length : 1));
    if (!payload) return 0;
    if (length) std::memcpy(payload, data + 1, length);
    double scale = SCALES[(data[0] >> 2) % (sizeof SCALES / sizeof SCALES[0])];
    if (operation == PAINT_HISTORY_OP_IMAGE)
      imagebar_draw_image_record(pc, payload, int32_t(length), scale);
    else
      textbar_draw_text_record(pc, payload, int32_t(length), scale);
    std::free(payload);
  }
  fuzz_canvas_check(pc);
  return 0;
}
