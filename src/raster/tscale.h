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
// The size tscale_new_scaled makes for width x height (both >= 1): with fit the
// largest that keeps src_bmp's aspect ratio, at least one pixel a side.
void tscale_fit_size(const tbitmap *src_bmp, int32_t width, int32_t height, int32_t *out_width, int32_t *out_height);
// Only the part (inclusive, inside 0..width-1 x 0..height-1) of src_bmp scaled
// to width x height: a new top-down bitmap of the part's size whose pixels are those that part has in the whole scaled picture, or
// nullptr. Costs the part's pixels, not the whole's.
tbitmap *tscale_new_scaled_part(const tbitmap *src_bmp, int32_t width, int32_t height, const trect *part);
// Destination pixels sampled by this module since the program started.
uint64_t tscale_get_sampled_pixels();
// Scales bitmap over the whole of dst_bmp; 0 when either is empty, below
// 8 bpp, or the depths differ (dst_bmp is then unchanged).
int tscale_scale_into(const tbitmap *bitmap, tbitmap *dst_bmp);

int tscale_scale_rows(void *ctx, const tbitmap *src, int32_t dst_width, int32_t dst_height, tscale_get_row_fn get_row,
                      tscale_put_row_fn put_row);
uint8_t *tscale_on_get_row(void *ctx, int32_t y);
void tscale_on_put_row(void *ctx, uint8_t *row, int32_t y);
