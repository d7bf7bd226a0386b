// panel_picture: a picture of the resource files at the size of the surface
// it covers. resvga holds surface-sized pictures (tabs, surface masks, zoom
// buttons, the slider's thumb) at the large screens' size; a normal screen
// takes a nearest-neighbour copy at its own smaller size, made once by the
// panel that shows it and owned by it.
#pragma once

#include <cstdint>

#include "tbitmap.h"

struct panel_picture {
  tbitmap *_bitmap;  // what to draw: the resource's own or _owned; null when missing
  tbitmap *_owned;   // the scaled copy, or null
};

// The picture id at width x height. With no such picture, or no memory for
// the copy, _bitmap is the resource's own picture (null when missing), so a
// panel still shows something.
void panel_picture_load(panel_picture *picture, int32_t id, int32_t width, int32_t height);
void panel_picture_release(panel_picture *picture);
