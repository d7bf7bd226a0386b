// tscale: nearest-neighbour resizing of 8/16/24/32-bit bitmaps in 16.16
// fixed point, into a new bitmap (optionally fitted with the aspect ratio
// kept) or into an existing bitmap of the same depth.
//
// The engine walks the source in its memory order and hands out destination
// rows through two callbacks; a destination row that maps to the same source
// row as the one before is copied whole instead of being sampled again. The
// row callbacks map engine rows to destination rows so that the picture stays
// upright whatever the row orders of the two bitmaps.
#pragma once

#include <cstdint>

#include "tbitmap.h"

// The context both public operations hand to the row callbacks.
struct tscale_context {
  tbitmap *dst;
  const tbitmap *src;
  int32_t row;  // destination row (counted from the top) last handed out
};

// A writable row buffer for engine row y; nullptr stops the engine.
typedef uint8_t *(*tscale_get_row_fn)(void *ctx, int32_t y);
// Finishes engine row y from the buffer (which may serve several rows).
typedef void (*tscale_put_row_fn)(void *ctx, uint8_t *row, int32_t y);

// A new bitmap of width x |height| (negative height: top-down) at the source's
// depth, or nullptr. With fit set the picture keeps its aspect ratio and is
// made as large as fits inside width x |height|, never less than one pixel on
// a side.
tbitmap *tscale_new_scaled(const tbitmap *src_bmp, int32_t width, int32_t height, int fit);
// Scales bitmap over the whole of dst_bmp; 0 when either is empty, below
// 8 bpp, or the depths differ (dst_bmp is then unchanged).
int tscale_scale_into(const tbitmap *bitmap, tbitmap *dst_bmp);

int tscale_scale_rows(void *ctx, const tbitmap *src, int32_t dst_width, int32_t dst_height, tscale_get_row_fn get_row,
                      tscale_put_row_fn put_row);
uint8_t *tscale_on_get_row(void *ctx, int32_t y);
void tscale_on_put_row(void *ctx, uint8_t *row, int32_t y);
