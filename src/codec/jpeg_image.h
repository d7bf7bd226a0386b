// jpeg_image: JPEG files to and from tbitmap, through libjpeg (version-62
// interface).
//
// Loading gives a top-down bitmap: 24 bpp (blue, green, red) for colour
// files, 8 bpp with the grey palette for single-component files; files of
// other colour spaces (CMYK, YCCK) are refused. Errors in the file, a file
// cut short and a size the pixel budget refuses all give 0; the library
// never ends the process and prints nothing.
//
// Saving takes a 24 or 32 bpp bitmap (the fourth byte is ignored), rows
// top-first whatever the bitmap's row order, writes baseline JPEG at the
// given quality (1..100) and never changes the bitmap; the file is written
// aside and renamed over the target only when the whole write succeeded.
#pragma once

#include "tbitmap.h"

// 1 and the new bitmap stored in *out_image (owned by the caller); 0 and
// *out_image untouched.
int jpeg_image_load(tbitmap **out_image, const char16_t *path);
// 1 written, 0 failed.
int jpeg_image_save(const tbitmap *bitmap, const char16_t *path, int quality);
