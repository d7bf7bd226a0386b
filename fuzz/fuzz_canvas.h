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

// Whether every alpha byte of a 32-bit row is 255.
__attribute__((no_sanitize("coverage"))) inline bool fuzz_row_opaque(const uint8_t *row, int32_t width) {
  uint8_t alpha = 0xFF;
  for (int32_t x = 0; x < width; x++) alpha &= row[4 * x + 3];
  return alpha == 0xFF;
}

inline void fuzz_canvas_check(paint_context *pc) {
  cairo_t *cr = paint_context_get_cairo(pc);
  tbitmap *canvas = paint_context_get_canvas(pc);
  if (!cr || !canvas || cairo_status(cr) != CAIRO_STATUS_SUCCESS) std::abort();
  if (tbitmap_get_bpp(canvas) != 32) std::abort();
  cairo_surface_flush(cairo_get_target(cr));
  int32_t width = tbitmap_get_width(canvas), height = tbitmap_get_height(canvas);
  for (int32_t y = 0; y < height; y++)
    if (!fuzz_row_opaque(tbitmap_get_row(canvas, y), width)) std::abort();
}
