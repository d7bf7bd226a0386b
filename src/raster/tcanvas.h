// tcanvas: drawing state over one bitmap: the bitmap's rectangle, an optional
// clip rectangle, a pen, a brush with an optional pattern, and a font. Offers
// lines, rectangles, rounded rectangles, ellipses, polygons, flood fill and
// bitmap draws; text is drawn by the text renderer, which keeps its device
// context (_dc) and reads the font fields.
//
// A canvas made by tcanvas_init owns its bitmap; one made by
// tcanvas_init_on_bitmap borrows it (deinit then only forgets it). The
// pattern bitmap is always borrowed.
// The clip rectangle is normalised and inclusive on all four sides; it
// applies only while _clip_on is set.
#pragma once

#include <cstdint>

#include "tbitmap.h"
#include "trect.h"

enum {
  TCANVAS_PEN_SOLID = 0,
  TCANVAS_PEN_NONE = 2,
  TCANVAS_BRUSH_SOLID = 0,
  TCANVAS_BRUSH_NONE = 1,
  TCANVAS_BRUSH_PATTERN = 2,
};

enum {
  TCANVAS_FONT_BOLD = 1,
  TCANVAS_FONT_ITALIC = 2,
  TCANVAS_FONT_UNDERLINE = 4,
  TCANVAS_FONT_STRIKEOUT = 8,
};

constexpr int TCANVAS_FACE_UNITS = 32;

struct tcanvas {
  void *_dc;
  void *_owner;
  trect _rect;
  trect _clip;
  uint8_t _clip_on;
  tbitmap *_bitmap;
  int32_t _pen_style;
  int32_t _pen_width;
  tcolor _pen_color;
  int32_t _brush_style;
  tcolor _brush_color;
  tbitmap *_pattern;
  int32_t _pattern_x, _pattern_y;
  int32_t _font_size;
  char16_t _font_face[TCANVAS_FACE_UNITS];
  int32_t _font_size_index;
  uint32_t _font_style;
  uint8_t _owns_bitmap;
};

// height < 0 makes a top-down bitmap.
int tcanvas_init(tcanvas *canvas, void *owner, int bpp, int32_t width, int32_t height);
int tcanvas_init_on_bitmap(tcanvas *canvas, tbitmap *bitmap);
void tcanvas_deinit(tcanvas *canvas);

tbitmap *tcanvas_get_bitmap(const tcanvas *canvas);
void tcanvas_set_pen(tcanvas *canvas, int32_t style, int32_t width, uint32_t color);
void tcanvas_set_pen_style(tcanvas *canvas, int32_t style);
void tcanvas_set_pen_color(tcanvas *canvas, uint32_t color);
tcolor *tcanvas_get_pen_color(tcolor *out, const tcanvas *canvas);
void tcanvas_set_brush(tcanvas *canvas, int32_t style, uint32_t color);
void tcanvas_set_brush_style(tcanvas *canvas, int32_t style);
void tcanvas_set_brush_color(tcanvas *canvas, uint32_t color);
void tcanvas_set_pattern(tcanvas *canvas, tbitmap *patbmp);
void tcanvas_set_pattern_origin(tcanvas *canvas, int32_t x, int32_t y);
// A null rect changes nothing.
void tcanvas_set_clip(tcanvas *canvas, const trect *rect);
void tcanvas_clear_clip(tcanvas *canvas);
int32_t tcanvas_get_font_size(const tcanvas *canvas);
uint32_t tcanvas_get_font_style(const tcanvas *canvas);
void tcanvas_set_font_style(tcanvas *canvas, uint32_t style);

int tcanvas_draw_line(tcanvas *canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
int tcanvas_draw_line_color(tcanvas *canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color);
int tcanvas_fill_rect(tcanvas *canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
int tcanvas_clear(tcanvas *canvas);
int tcanvas_draw_rect(tcanvas *canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
int tcanvas_draw_round_rect(tcanvas *canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t radius);
// 0 only when the row flags cannot be allocated (nothing is drawn).
int tcanvas_draw_ellipse(tcanvas *canvas, int32_t cx, int32_t cy, int32_t rx, int32_t ry);
int tcanvas_draw_circle(tcanvas *canvas, int32_t cx, int32_t cy, int32_t r);
// Both refuse (0) an open list of 4 or more points.
int tcanvas_fill_polygon(tcanvas *canvas, const tpoint *points, int count);
int tcanvas_draw_polygon(tcanvas *canvas, const tpoint *points, int count);
// 0 for a seed outside the bitmap or when the fill cannot keep its runs.
int tcanvas_flood_fill(tcanvas *canvas, int32_t x, int32_t y, int tolerance);

int tcanvas_draw_bitmap(tcanvas *canvas, const tpoint *dst, const tbitmap *bitmap, const trect *src);
int tcanvas_draw_bitmap_alpha(tcanvas *canvas, const tpoint *dst, const tbitmap *bitmap, const trect *src, int alpha);
int tcanvas_draw_bitmap_masked(tcanvas *canvas, const tpoint *dst, const tbitmap *bitmap, const trect *src,
                               const tbitmap *mask, int alpha);
int tcanvas_draw_bitmap_keyed(tcanvas *canvas, const tpoint *dst, const tbitmap *bitmap, const trect *src, uint32_t key,
                              int alpha);
// Cuts the destination rectangle of a blit to the clip rectangle and shifts
// the source rectangle with it. 1 when at least one column and one row remain.
int tcanvas_clip_blit(const tcanvas *canvas, const tpoint *dst, const trect *src, tpoint *out_dst, trect *out_src);
// Moves the pixels inside area (inclusive, in bitmap coordinates, cut to the
// bitmap) dx to the right and dy down, overlapping rows and columns handled;
// what moves out of area is dropped and what it uncovers keeps its old
// pixels. Ignores the clip. 0 (nothing moved) below 8 bits per pixel.
int tcanvas_scroll(tcanvas *canvas, const trect *area, int32_t dx, int32_t dy);
// Tiles the pattern along count pixels of row y from x, weighted by the brush alpha.
int tcanvas_fill_span_pattern(tcanvas *canvas, int32_t x, int32_t y, int32_t count);
