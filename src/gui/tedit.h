// tedit: the single-line text field. A control holding its text in a tstring,
// with a blinking caret, a selection made with the pen or with Shift and the
// arrow keys, horizontal scrolling that keeps the caret in view, a digits-only
// mode and an optional link to the platform's input panel.
//
// Owns its text, the widths table, its three drawers (normal text, selected
// text, selection box), the blink timer while it runs and the input-method
// record it registers while focused.
// Invariants:
// - 0 <= caret, selection start, selection end <= length; the selection is
//   empty when start == end;
// - widths holds one entry per character: entry i is the width of the first
//   i + 1 characters in the current font (room for at least length entries
//   is made before the text grows);
// - the blink timer handle is 0 whenever the timer does not run.
#pragma once

#include <cstdint>
#include <type_traits>

#include "tbdrawer.h"
#include "tcontrol.h"
#include "tstring.h"
#include "ttdrawer.h"
#include "wins_window.h"

enum {
  TEDIT_INPUT_ANY = 0,     // every printable character
  TEDIT_INPUT_DIGITS = 4,  // '0'-'9' only
};

struct tedit {
  tcontrol _control;
  ttdrawer *_tdrawer;
  ttdrawer *_selected_tdrawer;
  tbdrawer *_selection_drawer;
  tstring *_text;
  int32_t _scroll;  // pixels the text is drawn shifted left
  int32_t *_widths;
  uint32_t _widths_room;  // entries allocated
  int32_t _selection_start, _selection_end;
  int32_t _caret;
  tcolor _caret_color;
  uint32_t _blink_timer;
  uint8_t _caret_visible;
  int32_t _margin_left, _margin_right, _margin_top_bottom;
  uint8_t _pressed;
  int32_t _input_mode;
  uint8_t _ime_enabled;
  wins_ime _ime;
  int32_t _font_size;  // points; 0: fitted to the client's height
};

static_assert(std::is_standard_layout_v<tedit>, "an edit is cast to its control");

// The first length characters of text (length < 0: all of it; the copy also
// stops at a NUL). 0 when memory runs out.
int tedit_init(tedit *edit, tcontrol *parent, const trect *rect, const char16_t *text, int32_t length, void *owner);
tedit *tedit_new(tcontrol *parent, const trect *rect, const char16_t *text, int32_t length, void *owner);
// Neither deinit nor free touches the screen.
void tedit_deinit(tedit *edit);
void tedit_free(tedit *edit);

// Replaces the text (first length characters, as at init) and measures it;
// the caret and the selection are clamped into the new text and the caret
// scrolled into view; no repaint. 0 (text unchanged) when memory runs out.
int tedit_set_text(tedit *edit, const char16_t *text, int32_t length);
const char16_t *tedit_get_text(const tedit *edit);
void tedit_set_padding(tedit *edit, int32_t left, int32_t right, int32_t top_bottom);
// Draws the text in a font of this many points, centred in the field; 0 (the
// start) fits the font to the field's height again.
void tedit_set_font_size(tedit *edit, int32_t size);
void tedit_set_caret(tedit *edit, int32_t position);
// Each end clamped to [0, length]; the caret moves to end.
void tedit_set_selection(tedit *edit, int32_t start, int32_t end);
void tedit_select_all(tedit *edit);
void tedit_clear_selection(tedit *edit);
// Removes the selected characters; the caret and both ends go where they began.
void tedit_delete_selection(tedit *edit);
// Replaces the selection by text and puts the caret behind it; 0 (nothing
// changed) when memory runs out.
int tedit_insert(tedit *edit, const char16_t *text);
void tedit_set_input_mode(tedit *edit, int32_t mode);
// Nonzero links the edit to the input panel from its next focus on.
void tedit_set_ime(tedit *edit, int enabled);
// Pixels the text is drawn shifted left to keep the caret in view.
int32_t tedit_get_scroll(const tedit *edit);
ttdrawer *tedit_get_text_drawer(const tedit *edit);
ttdrawer *tedit_get_selected_text_drawer(const tedit *edit);
