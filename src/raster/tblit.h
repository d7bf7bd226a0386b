// tblit: the pixel loops behind the bitmap fills and blits.
//
// Three blit families (alpha, masked, keyed) over five source formats (8-bit
// palette, 565, 555, 24, 32) and four destination formats (555, 565, 24, 32).
// Each family has one general path, written once for every format pair and
// plainly following the arithmetic below, and a table of fast paths for the
// pairs the program uses most. The fast paths must give the same bytes as the
// general path; the tests hold them to it on random input.
//
// Workers get pointers and counts that the caller has already clipped: they
// never clip, never check bounds and never allocate. After each row every
// buffer moves one image row down on its own (+stride when top-down, -stride
// when bottom-up).
//
// The arithmetic, which stored pictures and the tests depend on:
// - every blend runs at the destination's channel depth:
//   out = (src * w + dst * (256 - w)) >> 8, truncating;
// - 5- and 6-bit channels widen to 8 bits by shifting left (no replication);
//   a 555 word's red is word >> 10, so bit 15 counts as red;
// - a 32-bit pixel's fourth byte is never read as alpha and only the keyed
//   32 -> 32 copy writes it (the opaque fills of bitmaps that keep it at 255
//   store 255 over it);
// - keys (0x00BBGGRR, -1 none) are compared in the source's own format.
#pragma once

#include <cstddef>
#include <cstdint>

enum tblit_format {
  TBLIT_FORMAT_8 = 0,
  TBLIT_FORMAT_555,
  TBLIT_FORMAT_565,
  TBLIT_FORMAT_24,
  TBLIT_FORMAT_32,
  TBLIT_FORMAT_COUNT,
  TBLIT_FORMAT_NONE = -1,
};

enum tblit_family {
  TBLIT_ALPHA = 0,  // constant weight alpha 0..256
  TBLIT_MASKED,     // weight from an 8-bit mask, scaled by alpha / 255 below 255
  TBLIT_KEYED,      // key pixels skipped; copy at alpha >= 255, else weight alpha
  TBLIT_FAMILY_COUNT,
};

constexpr uint32_t TBLIT_NO_KEY = 0xFFFFFFFFu;

// One clipped blit as the workers see it.
struct tblit_job {
  uint8_t *dst;
  uint32_t dst_stride;
  const uint8_t *src;
  uint32_t src_stride;
  const uint8_t *palette;  // 8-bit sources: 256 entries of blue, green, red, unused
  int32_t columns;
  int32_t rows;
  const uint8_t *mask;  // masked family: one byte per source pixel
  uint32_t mask_stride;
  uint32_t key;  // keyed family
  int alpha;     // alpha family 0..256; masked and keyed 0..255
  bool src_top_down;
  bool dst_top_down;
  bool mask_top_down;
};

typedef void (*tblit_worker)(const tblit_job *job);

// The source format of a bitmap of this depth and these channel masks: 16 bpp
// is 565 only with exactly 0xF800, 0x07E0, 0x001F. NONE for other depths.
tblit_format tblit_source_format(int bpp, uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask);

// The general path of a family for a pair; null when the pair cannot be a
// blit (an 8-bit destination, a format out of range).
tblit_worker tblit_general(tblit_family family, tblit_format src, tblit_format dst);
// The fast path of a family for a pair, null when the pair has none.
tblit_worker tblit_fast(tblit_family family, tblit_format src, tblit_format dst);
// Whether the fast paths may use 256-bit vectors where the processor has them
// (on by default); returns the previous setting. Tests run both ways.
int tblit_set_wide_vectors(int on);
// What the bitmap blits use: the fast path when there is one, else the general one.
tblit_worker tblit_select(tblit_family family, tblit_format src, tblit_format dst);

// Fill workers: colour word 0xAARRGGBB. Alpha 255 stores, below it blends with
// weight alpha (the colour taken as an 8-bit-channel source). 32-bit pixels
// keep their fourth byte.
void tblit_hline_555(uint8_t *start, int32_t count, uint32_t color);
void tblit_hline_565(uint8_t *start, int32_t count, uint32_t color);
void tblit_hline_24(uint8_t *start, int32_t count, uint32_t color);
void tblit_hline_32(uint8_t *start, int32_t count, uint32_t color);
void tblit_vline_555(uint8_t *start, uint32_t stride, int32_t count, uint32_t color, bool top_down);
void tblit_vline_565(uint8_t *start, uint32_t stride, int32_t count, uint32_t color, bool top_down);
void tblit_vline_24(uint8_t *start, uint32_t stride, int32_t count, uint32_t color, bool top_down);
void tblit_vline_32(uint8_t *start, uint32_t stride, int32_t count, uint32_t color, bool top_down);
void tblit_fill_rect_555(uint8_t *start, uint32_t stride, int32_t columns, int32_t rows, uint32_t color,
                         bool top_down);
void tblit_fill_rect_565(uint8_t *start, uint32_t stride, int32_t columns, int32_t rows, uint32_t color,
                         bool top_down);
void tblit_fill_rect_24(uint8_t *start, uint32_t stride, int32_t columns, int32_t rows, uint32_t color,
                        bool top_down);
void tblit_fill_rect_32(uint8_t *start, uint32_t stride, int32_t columns, int32_t rows, uint32_t color,
                        bool top_down);

// Fills of 32-bit bitmaps whose fourth bytes are all 255 and whose writers
// keep them so (the painting canvas): an opaque colour is stored as whole
// pixels with the fourth byte 255, the destination never read. A colour
// below alpha 255 blends as tblit_hline_32 and tblit_fill_rect_32 do.
void tblit_hline_32_opaque(uint8_t *start, int32_t count, uint32_t color);
void tblit_fill_rect_32_opaque(uint8_t *start, uint32_t stride, int32_t columns, int32_t rows, uint32_t color,
                               bool top_down);
// The flood fill's paint of a wide run: tblit_hline_32, or tblit_hline_32_opaque
// when whole, that asks for the same span at ahead (the row the fill scans
// next; nullptr for none) as it goes, so that the scan finds it in the cache
// while the paint keeps the processor busy.
void tblit_hline_32_ahead(uint8_t *start, int32_t count, uint32_t color, bool whole, const uint8_t *ahead);
// Which stores the opaque fills above use on this processor (for the benchmarks).
const char *tblit_opaque_fill_path();

// The flood fill's run scan over one row of 32-bit pixels: a pixel is in range
// when its blue, green and red bytes each lie between those of low and high
// (words b | g << 8 | r << 16; the fourth byte is not read). Starting at x and
// stepping by dir (+1 or -1) towards limit (inclusive), returns the first x
// whose in-range result differs from want (0 or 1), or limit + dir when every
// pixel up to limit matches.
int64_t tblit_scan_range_32(const uint8_t *row, int32_t x, int32_t limit, int dir, int want, uint32_t low,
                            uint32_t high);
