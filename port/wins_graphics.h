// wins_graphics: text on a canvas. Text is drawn inside a text pass: begin,
// any number of draws, metric queries and font selections, end. Layout code
// opens a pass just to measure.
//
// A pass borrows the canvas, its bitmap and its font settings (size, face,
// style bits TCANVAS_FONT_*) and keeps itself in
// the canvas's _dc while it is open. At pen alpha 255 it is a direct pass:
// glyphs are blended into the bitmap as they are drawn. Below 255 it is a
// coverage pass: the glyphs are gathered, turned into an 8-bit mask over
// their bounding box at end, and the pen colour is blended through that mask
// with the pen alpha (tcanvas_draw_bitmap_masked). Both passes draw into 16,
// 24 and 32-bit bitmaps, inside the canvas clip (both corners inclusive), and
// leave the fourth byte of 32-bit pixels as it was (the painting canvas is
// cairo's, which reads it).
// Metrics and drawing always use the same font: the pass's.
// Font pixel height = |size x dpi / 72| (truncating); the dpi is 96 for small
// and normal screens and 192 for large ones (both sides >= 480).
#pragma once

#include <cstdint>

#include "trect.h"

struct tcanvas;
struct wins_graphics_pass;

// A pass over the canvas, or null when its font or memory cannot be had.
wins_graphics_pass *wins_graphics_begin_text(tcanvas *canvas);
// Ends the pass (a coverage pass blends its text in now) and frees it; null
// does nothing.
void wins_graphics_end_text(tcanvas *canvas, wins_graphics_pass *pass);
// Draws len UTF-16 units with the text cell's top-left at point; 1 when
// drawn, 0 without a pass, with pen style 2 (none) or on a bitmap below 16 bpp.
int wins_graphics_draw_text(tcanvas *canvas, wins_graphics_pass *pass, const tpoint *point, const char16_t *text,
                            int len);
// Glyphs placed by wins_graphics_draw_text since the program started; those
// lying wholly outside the clip, and those after the pen has left it, are
// not placed.
uint64_t wins_graphics_get_drawn_glyphs();

// Cell height (ascent + descent), ascent and descent of the pass's font; 0
// without a pass.
int wins_graphics_get_text_height(tcanvas *canvas, wins_graphics_pass *pass);
int wins_graphics_get_text_ascent(tcanvas *canvas, wins_graphics_pass *pass);
int wins_graphics_get_text_descent(tcanvas *canvas, wins_graphics_pass *pass);
int wins_graphics_get_text_width(tcanvas *canvas, wins_graphics_pass *pass, const char16_t *text, int len);
// UTF-16 units of the longest prefix no wider than max_width (a surrogate
// pair is never split); 0 without a pass.
int wins_graphics_get_fit_chars(tcanvas *canvas, wins_graphics_pass *pass, const char16_t *text, int len,
                                int max_width);

// Stores size, face (ignored when null or 32 units or longer), pen colour
// (colour word) and style in the canvas and makes the pass use the new font;
// a direct pass also takes the colour for what it draws next. 0 without a
// pass or when the font cannot be made (the pass keeps its font).
int wins_graphics_select_font(tcanvas *canvas, wins_graphics_pass *pass, int size, const char16_t *face,
                              uint32_t color, uint32_t style);
// Stores the size, and the face when it is shorter than 32 units. Returns 1.
int wins_graphics_set_font(tcanvas *canvas, int size, const char16_t *face);
// Points of a size index: 1 -> 22, 2 -> 18, 3 -> 12, 4 -> 10, 5 and 6 -> 8,
// any other -> 12.
int wins_graphics_get_font_size(tcanvas *canvas, int index);
// Size from the index, face "tahoma", the index kept in the canvas.
void wins_graphics_set_font_size_index(tcanvas *canvas, int index);

// The logical dpi of text: the screen's (port_device_get_dpi, which also
// converts pixels to points), unless a test has set its own; 0 returns to
// the screen's.
void wins_graphics_set_dpi(int dpi);
int wins_graphics_get_dpi();

// Fixed-advance metrics for layout tests: every character is half the font's
// pixel height wide, ascent = pixel height, descent = a quarter of it; the
// same on every machine. Drawing places the real glyphs at those advances.
void wins_graphics_set_fixed_metrics(int on);
