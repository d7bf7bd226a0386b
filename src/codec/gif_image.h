// gif_image: GIF files to and from tbitmap, through giflib 5.
//
// Loading gives a 24 bpp top-down picture of the logical screen's size,
// filled with the background colour (black when the file has no global
// colour map or its background index lies outside it), with the first image
// drawn at its place, clipped to the screen. Interlaced images come out
// upright; transparency and later frames are ignored. Colour indices beyond
// the map leave the pixel as it was. A file of no more than 100 MiB is read
// whole, its screen size checked against the pixel budget, and an image with
// neither a local nor a global colour map refused.
//
// Saving takes a bitmap of any depth, rows top-first. A picture of at most
// 256 colours is written with exactly those colours; a richer one goes
// through the library's quantiser (256 colours). The file is written aside
// and renamed over the target only when the whole write succeeded.
#pragma once

#include "tbitmap.h"

constexpr long GIF_IMAGE_MAX_FILE = 100l << 20;

// 1 and the new bitmap stored (owned by the caller), or 0 and null stored.
int gif_image_load(tbitmap **out_image, const char16_t *path);
// 1 written, 0 failed.
int gif_image_save(const tbitmap *bitmap, const char16_t *path);
