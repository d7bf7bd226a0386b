// png_image: PNG files to and from tbitmap, through libpng 1.6.
//
// Loading gives a 24 bpp picture (rows bottom-up, bytes blue, green, red) and
// an 8 bpp mask of the same size holding the alpha channel (255 where the
// file has none). Any PNG colour type, bit depth and interlace is accepted:
// palettes, grey and tRNS are expanded, 16-bit samples are cut to 8, and a
// file gamma is corrected to a screen gamma of 2.2. The file's width and
// height are checked against the pixel budget before anything is decoded.
//
// Saving takes a 24 bpp (RGB) or 32 bpp (RGBA, the fourth byte as alpha)
// bitmap, rows top-first whatever the bitmap's row order, and never changes
// the bitmap; the file is written aside and renamed over the target only
// when the whole write succeeded.
#pragma once

#include "tbitmap.h"

// 1 and both pictures stored (the caller owns them), or 0 and both out
// pointers set to null.
int png_image_load(tbitmap **out_image, tbitmap **out_mask, const char16_t *path);
// 1 written, 0 failed (depth other than 24 or 32, empty bitmap, I/O error).
int png_image_save(const tbitmap *bitmap, const char16_t *path);
