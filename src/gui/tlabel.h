// tlabel: a text on one line (left, centred, right, or sized to the text) or
// word-wrapped over several lines (optionally sizing its height to them).
//
//   mode  alignment        drawing
//   0     7 middle-left    one line
//   1     8 centre         one line
//   2     3 middle-right   one line
//   3     8 centre         one line; the label sizes itself to the text
//   4     0 top-left       word-wrapped lines
//   5     0 top-left       word-wrapped lines; the height follows the lines
//
// Owns its text buffer (always NUL-ended) and a copy of the default text
// drawer. A wrapped line breaks between a letter or digit and anything else;
// a word longer than the line keeps the line to itself, and every line takes
// at least one character, so the walk always ends. A line feed (with a
// carriage return before it) ends a line and is drawn as a space; the text
// itself is never changed by drawing.
#pragma once

#include <cstdint>
#include <type_traits>

#include "tcontrol.h"
#include "ttdrawer.h"

enum {
  TLABEL_LEFT = 0,
  TLABEL_CENTRE = 1,
  TLABEL_RIGHT = 2,
  TLABEL_FIT = 3,
  TLABEL_WRAP = 4,
  TLABEL_WRAP_FIT = 5,
};

struct tlabel {
  tcontrol _control;
  int32_t _mode;
  ttdrawer *_tdrawer;
  char16_t *_text;
  int32_t _length, _capacity;  // characters
  uint8_t _drawing;            // set while the label sizes itself from its own drawing
};

static_assert(std::is_standard_layout_v<tlabel>, "labels are cast to their control");

// length < 0: the text is NUL-ended; a null text is empty. 0 when the control
// or the text copy cannot be made.
int tlabel_init(tlabel *label, tcontrol *parent, const trect *rect, const char16_t *text, int32_t length, int32_t mode,
                void *owner);
tlabel *tlabel_new(tcontrol *parent, const trect *rect, const char16_t *text, int32_t length, int32_t mode,
                   void *owner);
void tlabel_deinit(tlabel *label);
void tlabel_free(tlabel *label);

// Copies the text (no repaint); 0 when the buffer cannot grow (the old text stays).
int tlabel_set_text(tlabel *label, const char16_t *text, int32_t length);
ttdrawer *tlabel_get_tdrawer(const tlabel *label);
// On: the text is drawn straight onto the parent's canvas at the label's
// rect, without background and without the label's own buffer.
void tlabel_set_transparent(tlabel *label, int flag);
// Draws the text in rect of canvas by the label's mode (modes 3 and 5 size
// the label first).
void tlabel_draw_text(tlabel *label, tcanvas *canvas, const trect *rect);
