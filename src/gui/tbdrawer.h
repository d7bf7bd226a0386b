// tbdrawer: the box drawer, which paints a control's background and border
// into a rect of a canvas. It holds its parameters and a draw routine, so a
// styler can tune the one or substitute the other.
//
// Owns its gradient cache (a 32-bit bitmap of the last drawn size); borrows
// the pattern bitmap. Gradient colours are key words 0x00BBGGRR (red in the
// low byte, see tcolor_key_rgb); fill and border colours are tcolors.
// Invariant: the cache, when present, was painted for the current gradient
// parameters unless the stale flag is set.
#pragma once

#include <cstdint>

#include "tbitmap.h"
#include "tcanvas.h"
#include "trect.h"

struct tbdrawer;

typedef void (*tbdrawer_draw_fn)(tbdrawer *drawer, tcanvas *canvas, const trect *rect);

enum {
  TBDRAWER_FILL_NONE = 0,
  TBDRAWER_FILL_SOLID = 1,  // or the pattern bitmap when one is set
  TBDRAWER_FILL_VGRADIENT = 2,
  TBDRAWER_FILL_HGRADIENT = 3,
};

enum {
  TBDRAWER_BORDER_PLAIN = 1,
  TBDRAWER_BORDER_ROUND = 2,
  TBDRAWER_BORDER_RAISED = 3,  // right and bottom edges in the second colour
  TBDRAWER_BORDER_SUNKEN = 4,  // left and top edges in the second colour
};

struct tbdrawer {
  tcolor _fill_color;
  tbitmap *_pattern;
  uint32_t _fill_mode;
  uint32_t _canvas_anchored;
  uint32_t _gradient_start, _gradient_end;  // key words
  int32_t _gradient_start_percent, _gradient_length_percent;
  tbitmap *_gradient_cache;
  uint8_t _cache_stale;
  tcolor _border_color;
  uint32_t _border_style;
  int32_t _border_width;
  int32_t _corner_radius;
  tcolor _first_color, _second_color;
  tbdrawer_draw_fn _draw;
  uint8_t _always_draw;
  void *_user_data;
};

// Solid white fill, plain black border of width 1.
tbdrawer *tbdrawer_new(tbdrawer_draw_fn draw);
tbdrawer *tbdrawer_new_default();
// An own copy, gradient cache included; null when memory runs out.
tbdrawer *tbdrawer_copy(const tbdrawer *src_drawer);
void tbdrawer_free(tbdrawer *drawer);

void tbdrawer_set_fill_color(tbdrawer *drawer, tcolor color);
void tbdrawer_set_pattern(tbdrawer *drawer, tbitmap *pattern, int canvas_anchored);
void tbdrawer_set_fill_none(tbdrawer *drawer);
void tbdrawer_set_fill_solid(tbdrawer *drawer);
// start and end are key words; the ramp starts start_percent into the extent
// and runs length_percent of it.
void tbdrawer_set_fill_gradient(tbdrawer *drawer, int horizontal, uint32_t start, uint32_t end,
                                int32_t length_percent, int32_t start_percent);
void tbdrawer_set_border(tbdrawer *drawer, tcolor color, int32_t width);
void tbdrawer_set_round_border(tbdrawer *drawer, tcolor color, int32_t width, int32_t radius);
void tbdrawer_set_raised_border(tbdrawer *drawer, tcolor first, tcolor second);
void tbdrawer_set_sunken_border(tbdrawer *drawer, tcolor first, tcolor second);
void tbdrawer_set_no_border(tbdrawer *drawer);
void tbdrawer_set_draw_func(tbdrawer *drawer, tbdrawer_draw_fn draw);
tbdrawer_draw_fn tbdrawer_get_draw_func(const tbdrawer *drawer);
void tbdrawer_set_user_data(tbdrawer *drawer, void *user_data);
void *tbdrawer_get_user_data(const tbdrawer *drawer);
void tbdrawer_set_always_draw(tbdrawer *drawer, int always);
void tbdrawer_set_gradient_stale(tbdrawer *drawer);

// Calls the draw routine for a rect at least 1 x 1, or always with always-draw.
void tbdrawer_draw(tbdrawer *drawer, tcanvas *canvas, const trect *rect);
// The standard routine: fill by mode, then border by style. An empty rect
// paints nothing; an unknown border style paints nothing, not even the fill.
void tbdrawer_draw_standard(tbdrawer *drawer, tcanvas *canvas, const trect *rect);
// Keeps the cache when it is w x h and not stale, else remakes it. 1 when a
// cache of that size exists afterwards.
int tbdrawer_update_gradient_cache(tbdrawer *drawer, int32_t w, int32_t h);
// Paints the ramp into rows (or columns when horizontal) of a 32-bit bitmap:
// start colour before start, end colour from start + length on.
void tbdrawer_paint_gradient(tbitmap *bitmap, int horizontal, uint32_t start, uint32_t end, int64_t ramp_start,
                             int64_t ramp_length, int alpha);
