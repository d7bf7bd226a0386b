// tbitmap: the one pixel container (frame buffer, surface buffers, the 32-bit
// painting canvas, masks, loaded pictures, bitmaps stored in files).
//
// A device-independent bitmap: an info block laid out as the BMP info header
// (plus 16-bit masks or a palette) and a pixel buffer of _stride * |height|
// bytes. A negative header height means rows are stored top-down.
// Owns _info and _pixels, except for a view (_view != 0) whose blocks belong
// to whoever made it (a loaded resource file, a document being read).
// Pixel buffers are allocated through one budget (default 512 MiB per bitmap,
// sides up to 32767) with 64-bit size arithmetic, so "not enough memory" is a
// real, testable road.
#pragma once

#include <cstdint>
#include <cstdio>

#include "trect.h"

struct tbitmap {
  uint32_t _reserved;
  uint8_t *_info;
  uint32_t _stride;
  uint32_t _red_mask, _green_mask, _blue_mask;
  uint32_t _red_shift, _green_shift, _blue_shift;
  uint32_t _red_loss, _green_loss, _blue_loss;
  uint8_t *_pixels;
  uint32_t _view;
  // 1 on a 32-bit bitmap whose fourth bytes are all 255 and whose writers
  // keep them so (the painting canvas): opaque fills then store whole pixels.
  // Set by the owner after creation; a copy or a new bitmap starts without it.
  uint32_t _opaque;
};

// Info block offsets (little-endian, the BMP info header).
enum {
  TBITMAP_INFO_HEADER_SIZE = 0,
  TBITMAP_INFO_WIDTH = 4,
  TBITMAP_INFO_HEIGHT = 8,
  TBITMAP_INFO_PLANES = 12,
  TBITMAP_INFO_BPP = 14,
  TBITMAP_INFO_COMPRESSION = 16,
  TBITMAP_INFO_IMAGE_SIZE = 20,
  TBITMAP_INFO_COLORS_USED = 32,
  TBITMAP_INFO_MASKS = 40,
};

constexpr uint64_t TBITMAP_DEFAULT_BUDGET = 512ull << 20;
constexpr int32_t TBITMAP_MAX_SIDE = 32767;

// The pixel budget: the largest pixel buffer one bitmap may have. Returns the
// previous value; tests lower it to reach the out-of-memory roads.
uint64_t tbitmap_set_budget(uint64_t bytes);
uint64_t tbitmap_get_budget();
// Allocation and release of pixel buffers through the budget (0 bytes gives a
// valid one-byte block, so an empty bitmap still has a buffer).
uint8_t *tbitmap_alloc_pixels(uint64_t bytes);
void tbitmap_free_pixels(uint8_t *pixels);

int tbitmap_init_info(tbitmap *bitmap, int32_t width, int32_t height, int bpp);
int tbitmap_init(tbitmap *bitmap, int32_t width, int32_t height, int bpp);
tbitmap *tbitmap_new(int32_t width, int32_t height, int bpp);
int tbitmap_init_copy(tbitmap *bitmap, const tbitmap *srcbmp);
tbitmap *tbitmap_new_copy(const tbitmap *srcbmp);
void tbitmap_init_channels(tbitmap *bitmap);
void tbitmap_deinit(tbitmap *bitmap);
void tbitmap_free(tbitmap *bitmap);

// Marks (1) or unmarks (0) the bitmap as keeping its fourth bytes at 255 (see
// _opaque); ignored below 32 bpp. Returns the previous mark.
int tbitmap_set_opaque(tbitmap *bitmap, int on);

int32_t tbitmap_get_width(const tbitmap *bitmap);
int32_t tbitmap_get_height(const tbitmap *bitmap);
int tbitmap_is_top_down(const tbitmap *bitmap);
int tbitmap_get_bpp(const tbitmap *bitmap);
uint32_t tbitmap_get_stride(const tbitmap *bitmap);
int tbitmap_get_compression(const tbitmap *bitmap);
uint32_t tbitmap_get_image_size(const tbitmap *bitmap);
int tbitmap_get_color_count(const tbitmap *bitmap);
// Where the palette (blue, green, red, 0 entries) starts in the info block:
// after the header, and after the three masks only when compression 3 puts
// them behind a header too short to hold them. Every module that reads or
// writes a palette asks here. Null without an info block.
uint8_t *tbitmap_get_palette(const tbitmap *bitmap);
uint8_t *tbitmap_get_row(const tbitmap *bitmap, int32_t y);
uint8_t *tbitmap_get_pixel_ptr(const tbitmap *bitmap, int32_t x, int32_t y);

uint32_t tbitmap_get_pixel(const tbitmap *bitmap, int32_t x, int32_t y);
int tbitmap_set_pixel(tbitmap *bitmap, int32_t x, int32_t y, uint32_t value);
int tbitmap_get_pixel_color(const tbitmap *bitmap, int32_t x, int32_t y, tcolor *out);
int tbitmap_blend_pixel(tbitmap *bitmap, int32_t x, int32_t y, uint32_t color);

int tbitmap_draw_hline(tbitmap *bitmap, int32_t x1, int32_t x2, int32_t y, uint32_t color);
int tbitmap_draw_vline(tbitmap *bitmap, int32_t x, int32_t y1, int32_t y2, uint32_t color);
int tbitmap_fill_rect(tbitmap *bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color);

int tbitmap_blit_alpha(tbitmap *dst_bmp, const tpoint *dst, const tbitmap *src_bmp, const trect *src, int alpha);
int tbitmap_blit_masked(tbitmap *dst_bmp, const tpoint *dst, const tbitmap *src_bmp, const trect *src,
                        const tbitmap *mask, int alpha);
int tbitmap_blit_keyed(tbitmap *dst_bmp, const tpoint *dst, const tbitmap *src_bmp, const trect *src,
                       uint32_t key, int alpha);

int tbitmap_load_bmp(tbitmap *bitmap, const char16_t *path);
int tbitmap_save_bmp(const tbitmap *bitmap, const char16_t *path);
