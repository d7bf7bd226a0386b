// screen_capture: a picture of the whole desktop for the screenshot road.
//
// The desktop is X11's root window, read with XGetImage. Only a TrueColor
// visual is understood; without an X display (a Wayland-only or headless
// session) or with another visual there is no picture. Each channel is taken
// by the visual's masks, so 16, 24 and 32-bit servers of either byte order
// give the same result: a 24-bit bottom-up tbitmap of the root window's size,
// rows of blue, green, red.
//
// The source is replaceable: tests install one that hands back a picture of
// their own (or none) instead of asking the display.
#pragma once

#include <cstdint>

#include "tbitmap.h"

// Returns a new bitmap the caller frees, or null.
typedef tbitmap *(*screen_capture_fn)();

// The desktop as a new 24-bit bitmap, or null.
tbitmap *screen_capture();
// Returns the previous source; null puts the X11 reader back.
screen_capture_fn screen_capture_set_source(screen_capture_fn source);

// What XGetImage hands back, for the conversion alone.
struct screen_capture_image {
  int32_t width, height;
  int32_t bytes_per_line;
  int32_t bits_per_pixel;  // 16, 24 or 32
  int32_t msb_first;       // the server's byte order: 1 most significant byte first
  uint32_t red_mask, green_mask, blue_mask;
  const uint8_t *data;
};

// The image as a new 24-bit bottom-up bitmap; null when its shape is not one
// the reader knows (depth, masks, a row length that cannot hold the width)
// or memory is short.
tbitmap *screen_capture_convert(const screen_capture_image *image);
