// tmessagedialog: the message box: an optional icon, a wrapped text and one
// of seven soft-key sets, on a tdialog.
//
// The box owns itself from creation until its dialog closes: the dialog
// frees itself (icon and label first), then the box's record goes, and only
// then is the owner's callback called with (result, user data). Owners keep
// no pointer to a closed box.
//
// Layout values, by index (tmessagedialog_set_layout; the styler sets them
// before the box is built):
//
// | index | meaning                                         | default |
// |-------|-------------------------------------------------|---------|
// | 0     | left edge of the icon                           | 10      |
// | 1     | top of the icon and of the label                | 10      |
// | 2     | height the label starts with (it then fits its lines) | 100 |
// | 3     | gap from the icon's right edge to the label     | 20      |
//
// Without an icon the label starts at x 9; its right edge is always the
// form's client width - 11.
#pragma once

#include <cstdint>

#include "tbitmap.h"

struct tdialog;
struct timage;
struct tlabel;

// Soft-key sets: which keys show and what they answer.
enum {
  TMESSAGEDIALOG_OK = 0,          // "OK" 1
  TMESSAGEDIALOG_CANCEL = 1,      // "Cancel" 0
  TMESSAGEDIALOG_OK_CANCEL = 2,   // "OK" 1, "Cancel" 0
  TMESSAGEDIALOG_YES = 3,         // "Yes" 2
  TMESSAGEDIALOG_YES_NO = 4,      // "Yes" 2, "No" 3
  TMESSAGEDIALOG_BACK = 5,        // "Back" 5
  TMESSAGEDIALOG_NO_BUTTONS = 6,
};

// Results beyond the dialog's OK (1) and Cancel (0).
enum { TMESSAGEDIALOG_RESULT_YES = 2, TMESSAGEDIALOG_RESULT_NO = 3, TMESSAGEDIALOG_RESULT_BACK = 5 };

// Icon kinds 0-6: none, then the pictures 4, 12, 2, 10, 8 and 6 of the
// toolkit's bitmaps (each with its mask one id above).
enum { TMESSAGEDIALOG_ICON_NONE = 0, TMESSAGEDIALOG_ICON_KINDS = 7 };

constexpr int TMESSAGEDIALOG_LAYOUT_VALUES = 4;

typedef void (*tmessagedialog_result_fn)(int32_t result, void *user_data);

struct tmessagedialog {
  tdialog *_dialog;
  timage *_icon;
  tlabel *_label;
  int32_t _buttons;
  int32_t _icon_kind;
  int32_t _width;
  int32_t _layout[TMESSAGEDIALOG_LAYOUT_VALUES];
  tmessagedialog_result_fn _on_result;
  void *_user_data;
};

// width -1: the screen's smaller side. Null when memory is lacking.
tmessagedialog *tmessagedialog_new(const char16_t *title, int32_t width, const char16_t *text, int32_t buttons,
                                   int32_t icon_kind, void *user_data);
// Shows the box with its width and a height that fits the text (placement
// modes of tdialog_show).
void tmessagedialog_show(tmessagedialog *box, int32_t x, int32_t y, int32_t mode);
tmessagedialog_result_fn tmessagedialog_set_on_result(tmessagedialog *box, tmessagedialog_result_fn fn);
tdialog *tmessagedialog_get_dialog(const tmessagedialog *box);
tlabel *tmessagedialog_get_label(const tmessagedialog *box);
// A null bitmap hides the icon; a null mask draws it without one.
void tmessagedialog_set_icon(tmessagedialog *box, tbitmap *bitmap, tbitmap *mask);
// Index 0-3 (table above); other indexes are ignored.
void tmessagedialog_set_layout(tmessagedialog *box, int32_t index, int32_t value);
