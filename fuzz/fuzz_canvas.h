// fuzz_canvas: the check the replay fuzz targets make after every input: the
// shared cairo context still usable and every pixel of the canvas opaque.
// The canvas is read a row at a time, outside the coverage counters: a call
// per pixel, each counted as a branch of the code under test, made this check
// most of a run and taught the fuzzer nothing.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <cstdlib>

#include "paint_context.h"
#include "tbitmap.h"

__attribute__((no_sanitize("coverage"))) inline void fuzz_canvas_check(paint_context *pc) {
  cairo_t *cr = paint_context_get_cairo(pc);
  tbitmap *canvas = paint_context_get_canvas(pc);
  if (!cr || !canvas || cairo_status(cr) != CAIRO_STATUS_SUCCESS) std::abort();
  if (tbitmap_get_bpp(canvas) != 32) std::abort();
  cairo_surface_flush(cairo_get_target(cr));
  int32_t height = tbitmap_get_height(canvas);
  int32_t width = tbitmap_get_width(canvas);
  size_t row_bytes = width > 0 ? size_t(width) * 4 : 0;
  for (int32_t y = 0; y < height; y++) {
    const uint8_t *row = tbitmap_get_row(canvas, y);
    uint8_t alpha = 0xFF;
    for (size_t i = 3; i < row_bytes; i += 4) alpha &= row[i];
    if (alpha != 0xFF) std::abort();
  }
}
