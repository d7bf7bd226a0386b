// Replays crop records (history operation 1010) made of arbitrary bytes, as a
// document may carry them, through the history's replay and directly. The
// canvas must come out with at least one pixel, all of them opaque, and a
// usable cairo context.
//
// Input: byte 0 picks the painting's zoom, byte 1 the record's zoom; the
// rest is the payload (any length; 32 bytes is the real form).
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "fuzz_canvas.h"
#include "fuzz_file.h"
#include "paint_context.h"
#include "paint_history.h"
#include "paint_main.h"
#include "tbitmap.h"

namespace {

const double PAINTING_ZOOMS[] = {1.0, 0.5, 2.0, 0.37};
const double RECORD_ZOOMS[] = {1.0, 2.0, 0.25, 0.0, -1.0, 1e-300, 1e300, std::numeric_limits<double>::quiet_NaN()};

struct painting {
  paint_context *pc;
  paint_history *history;
};

painting *the_painting() {
  static painting *p = [] {
    fuzz_use_own_home("crop_replay");
    painting *made = new painting();
    tcolor white = {255, 255, 255, 255}, black = {0, 0, 0, 255};
    made->pc = paint_context_new(nullptr, 64, 48, black, white, white, 5, 0, 0, 0, 9);
    made->history = paint_history_new(made->pc, nullptr);
    paint_history_set_use_checkpoints(made->history, 0);
    paint_history_hooks hooks = {};
    hooks.apply_crop = paint_main_apply_crop;
    paint_history_set_hooks(made->history, &hooks);
    // Crops may ask for any size; a small budget keeps each run short while
    // the refusals it causes are part of what is tested.
    tbitmap_set_budget(1u << 20);
    if (!made->pc || !made->history) std::abort();
    return made;
  }();
  return p;
}

void check_canvas(paint_context *pc) {
  tbitmap *canvas = paint_context_get_canvas(pc);
  if (!canvas || tbitmap_get_width(canvas) < 1 || tbitmap_get_height(canvas) < 1) std::abort();
  fuzz_canvas_check(pc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  painting *p = the_painting();
  if (paint_context_set_zoom(p->pc, PAINTING_ZOOMS[data[0] % 4]) != 1) return 0;
  const uint8_t *payload = data + 2;
  int32_t length = int32_t(std::min<size_t>(size - 2, 4096));
  paint_history_record *record = paint_history_record_new(PAINT_HISTORY_OP_CROP, payload, length);
  if (!record) return 0;
  record->_zoom = RECORD_ZOOMS[data[1] % 8];
  if (!paint_history_append_record(p->history, record)) {
    paint_history_record_free(record);
    return 0;
  }
  paint_history_set_position(p->history, 0);
  paint_history_rebuild(p->history);
  check_canvas(p->pc);
  // The record goes with its input: one left for the next input reads to
  // libFuzzer as a leak, and it runs the input again to look for it.
  paint_history_reset(p->history);
  double scale = RECORD_ZOOMS[data[1] % 8];
  paint_main_apply_crop(p->pc, payload, length, std::isfinite(scale) ? scale : 1.0);
  check_canvas(p->pc);
  return 0;
}
