// ttdrawer: the text drawer, which places one line of text in a rect by an
// alignment code and cuts it with an end or path ellipsis when it is too wide.
// It holds its font (size, face, colour, style bits) and a draw routine, so a
// styler can tune the one or substitute the other.
//
// Alignment codes, shared with the image drawer: a 3 x 3 grid numbered
// clockwise from the top-left corner, the centre last.
//
//   code        0    1      2     3      4      5      6     7      8
//   horizontal  left centre right right  right  centre left  left   centre
//   vertical    top  top    top   middle bottom bottom bottom middle middle
//
// Owns nothing but itself; temporary strings live only inside a draw.
#pragma once

#include <cstdint>

#include "tcanvas.h"
#include "trect.h"

struct ttdrawer;
struct wins_graphics_pass;

// The grid above as placements: horizontal 0 left, 1 centre, 2 right;
// vertical 0 top, 1 middle, 2 bottom.
constexpr uint8_t TDRAWER_HORIZONTAL[9] = {0, 1, 2, 2, 2, 1, 0, 0, 1};
constexpr uint8_t TDRAWER_VERTICAL[9] = {0, 0, 0, 1, 2, 2, 2, 1, 1};

// length < 0: the text is NUL-ended.
typedef void (*ttdrawer_draw_fn)(ttdrawer *drawer, tcanvas *canvas, wins_graphics_pass *pass, const char16_t *text,
                                 int32_t length, const trect *rect);

enum {
  TTDRAWER_TRUNCATE_NONE = 0,
  TTDRAWER_TRUNCATE_END = 1,   // "abc..."
  TTDRAWER_TRUNCATE_PATH = 2,  // "/home/us.../name"
};

constexpr int TTDRAWER_FACE_UNITS = 32;  // 31 characters and the terminator

struct ttdrawer {
  uint32_t _alignment;
  int32_t _offset_x, _offset_y;
  int32_t _font_size;                      // points
  char16_t _font_face[TTDRAWER_FACE_UNITS];  // empty: the canvas's face
  tcolor _color;
  uint32_t _font_style;  // TCANVAS_FONT_* bits
  uint32_t _truncation;
  ttdrawer_draw_fn _draw;
};

// Alignment 8, size 10, opaque black, no truncation.
ttdrawer *ttdrawer_new(ttdrawer_draw_fn draw);
ttdrawer *ttdrawer_new_default();
ttdrawer *ttdrawer_copy(const ttdrawer *src_drawer);
void ttdrawer_free(ttdrawer *drawer);

void ttdrawer_set_alignment(ttdrawer *drawer, uint32_t alignment);
uint32_t ttdrawer_get_alignment(const ttdrawer *drawer);
void ttdrawer_set_truncation(ttdrawer *drawer, uint32_t truncation);
uint32_t ttdrawer_get_truncation(const ttdrawer *drawer);
void ttdrawer_set_offset_x(ttdrawer *drawer, int32_t x);
int32_t ttdrawer_get_offset_x(const ttdrawer *drawer);
void ttdrawer_set_offset_y(ttdrawer *drawer, int32_t y);
int32_t ttdrawer_get_offset_y(const ttdrawer *drawer);
// Keeps at most 31 characters; null empties the face.
void ttdrawer_set_font_face(ttdrawer *drawer, const char16_t *face);
const char16_t *ttdrawer_get_font_face(const ttdrawer *drawer);
void ttdrawer_set_font_size(ttdrawer *drawer, int32_t size);
int32_t ttdrawer_get_font_size(const ttdrawer *drawer);
void ttdrawer_set_color(ttdrawer *drawer, tcolor color);
void ttdrawer_get_color(const ttdrawer *drawer, tcolor *out);
void ttdrawer_set_font_style(ttdrawer *drawer, uint32_t style);
uint32_t ttdrawer_get_font_style(const ttdrawer *drawer);
void ttdrawer_set_draw_func(ttdrawer *drawer, ttdrawer_draw_fn draw);
ttdrawer_draw_fn ttdrawer_get_draw_func(const ttdrawer *drawer);

// Selects the drawer's font and pen on the canvas and draws in a pass of its
// own; nothing for a null text or a rect narrower or lower than 1 pixel.
void ttdrawer_draw(ttdrawer *drawer, tcanvas *canvas, const char16_t *text, int32_t length, const trect *rect);
// Draws inside a pass the caller opened (a list draws all its rows in one),
// reselecting the font only when the canvas's differs from the drawer's.
void ttdrawer_draw_in_pass(ttdrawer *drawer, tcanvas *canvas, wins_graphics_pass *pass, const char16_t *text,
                           int32_t length, const trect *rect);
// The standard routine: truncation, then placement by the alignment code.
void ttdrawer_draw_standard(ttdrawer *drawer, tcanvas *canvas, wins_graphics_pass *pass, const char16_t *text,
                            int32_t length, const trect *rect);

// One line of wrapped text in the pass's font: the number of characters the
// line shows; *next is where the next line starts. A line breaks at a space
// (the spaces at the break belong to neither line) or between two characters
// of which one is an ideograph, kana, hangul or a full-width form, never
// before closing punctuation, and never inside a word of an alphabetic script.
// A word wider than max_width is broken between characters, at least one to a
// line, when whole_line is set; without it (the line already holds text) the
// answer is 0 with *next 0: the text starts on a new line. Closing
// punctuation that starts the text stays on such a line, past max_width.
int32_t ttdrawer_wrap_line(tcanvas *canvas, wins_graphics_pass *pass, const char16_t *text, int32_t length,
                           int32_t max_width, int whole_line, int32_t *next);
// The path ellipsis of a folder or file path that is at most max_chars long
// and at most max_width wide in the pass's font: the whole path when it fits,
// else the longest head + "..." + the last separator and name, else "..." and
// the end of the name. Written NUL-ended into out (capacity > max_chars);
// the number of characters written. Without a canvas and pass only the
// length is bounded.
int32_t ttdrawer_fit_path(tcanvas *canvas, wins_graphics_pass *pass, const char16_t *text, int32_t length,
                          int32_t max_width, int32_t max_chars, char16_t *out, int32_t capacity);
