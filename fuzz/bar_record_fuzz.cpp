// Replays the text bar's and the image bar's records (history operations
// 1007 and 1009) made of arbitrary bytes, as a document may carry them, at
// arbitrary scales. Besides not crashing, the canvas must stay opaque and the
// cairo context usable.
//
// Input: byte 0 picks the kind (low bit: 0 text, 1 picture) and the scale;
// the rest is the payload (any length; the real forms are (n + 57) x 2 bytes
// of text and 32 + I + M bytes of picture).
#include <cairo.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "paint_context.h"
#include "tbitmap.h"
#include "imagebar.h"
#include "textbar.h"

namespace {

const double SCALES[] = {1.0, 2.0, 0.5, 0.37, 3.0, 1e-9, 1e9, 0.0, -1.0, std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::infinity()};

paint_context *the_painting() {
  static paint_context *pc = [] {
    tcolor white = {255, 255, 255, 255}, black = {0, 0, 0, 255};
    paint_context *made = paint_context_new(nullptr, 96, 64, black, white, white, 5, 0, 0, 0, 9);
    if (!made) std::abort();
    // Pictures may ask for any size; a small budget keeps each run short
    // while the refusals it causes are part of what is tested.
    tbitmap_set_budget(1u << 20);
    return made;
  }();
  return pc;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  paint_context *pc = the_painting();
  paint_context_clear(pc);
  // Long texts at the largest font take long to draw; 4 KB leaves every
  // road open.
  size_t length = std::min<size_t>(size - 1, 4096);
  // The history hands payloads over in heap blocks of their own.
  uint8_t *payload = static_cast<uint8_t *>(std::malloc(length ? length : 1));
  if (!payload) return 0;
  if (length) std::memcpy(payload, data + 1, length);
  double scale = SCALES[(data[0] >> 1) % (sizeof SCALES / sizeof SCALES[0])];
  if (data[0] & 1)
    imagebar_draw_image_record(pc, payload, int32_t(length), scale);
  else
    textbar_draw_text_record(pc, payload, int32_t(length), scale);
  std::free(payload);
  cairo_t *cr = paint_context_get_cairo(pc);
  if (!cr || cairo_status(cr) != CAIRO_STATUS_SUCCESS) std::abort();
  cairo_surface_flush(cairo_get_target(cr));
  tbitmap *canvas = paint_context_get_canvas(pc);
  for (int32_t y = 0; y < tbitmap_get_height(canvas); y++)
    for (int32_t x = 0; x < tbitmap_get_width(canvas); x++)
      if ((tbitmap_get_pixel(canvas, x, y) >> 24) != 0xFF) std::abort();
  return 0;
}
