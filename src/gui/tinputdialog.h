// tinputdialog: the input dialog: a prompt and a one-line edit on a tdialog,
// whose text reaches the caller's buffer on OK.
//
// The dialog owns itself from creation until its dialog closes: the dialog
// frees itself (label and edit first), a result of 1 has copied the edit's
// text into the caller's buffer (at most size - 1 characters, terminated;
// other results leave it alone), the record goes, and only then is the
// owner's callback called with (result, user data).
//
// Layout values, by index (tinputdialog_set_layout; the styler sets them
// before the dialog is built):
//
// | index | meaning                          | default |
// |-------|----------------------------------|---------|
// | 0     | label side margin                | 10      |
// | 1     | label top                        | 10      |
// | 2     | label height                     | 25      |
// | 3     | gap between label and edit       | 10      |
// | 4     | edit side margin                 | 10      |
// | 5     | edit height                      | 25      |
#pragma once

#include <cstdint>

struct tdialog;
struct tedit;
struct tlabel;

constexpr int TINPUTDIALOG_LAYOUT_VALUES = 6;

typedef void (*tinputdialog_result_fn)(int32_t result, void *user_data);

struct tinputdialog {
  tdialog *_dialog;
  tedit *_edit;
  tlabel *_label;
  char16_t *_buffer;  // the caller's
  int32_t _size;      // characters, the terminator included
  char16_t *_closing_text;  // the edit's text as the dialog went; owned
  int32_t _width;
  int32_t _layout[TINPUTDIALOG_LAYOUT_VALUES];
  tinputdialog_result_fn _on_result;
  void *_user_data;
};

// The edit starts with the buffer's text; width -1 is the screen's smaller
// side. Null when memory is lacking.
tinputdialog *tinputdialog_new(const char16_t *title, int32_t width, const char16_t *prompt, char16_t *buffer,
                               int32_t size, void *user_data);
// Selects all the text and shows the dialog with its width and a fitting
// height (placement modes of tdialog_show).
void tinputdialog_show(tinputdialog *input, int32_t x, int32_t y, int32_t mode);
tinputdialog_result_fn tinputdialog_set_on_result(tinputdialog *input, tinputdialog_result_fn fn);
tdialog *tinputdialog_get_dialog(const tinputdialog *input);
tedit *tinputdialog_get_edit(const tinputdialog *input);
// The edit's current text.
const char16_t *tinputdialog_get_text(const tinputdialog *input);
void *tinputdialog_get_user_data(const tinputdialog *input);
// Index 0-5 (table above); other indexes are ignored.
void tinputdialog_set_layout(tinputdialog *input, int32_t index, int32_t value);
