// upload_info_dialog: asks for the title and description of a painting to
// upload.
//
// A dialog with the upload icon, a prompt, and a labelled edit each for the
// title and the description. OK with an empty title shows an error box and
// keeps the dialog; otherwise it closes. On OK the edits' texts are written
// into the caller's buffers (title UPLOAD_INFO_TITLE_CHARS, description
// UPLOAD_INFO_DESCRIPTION_CHARS, both always ended). The dialog owns itself
// from show to close: its controls go with it, then this record, and the
// result callback comes last.
//
// Layout values, by index (upload_info_dialog_set_layout; others ignored):
//
// | index | default | use                                              |
// |-------|---------|--------------------------------------------------|
// | 0     | 10      | icon left                                        |
// | 1     | 10      | icon top                                         |
// | 2     | 10      | gap between icon and prompt                      |
// | 3     | 10      | prompt top                                       |
// | 4     | 10      | gap below the icon to the "Title: " label        |
// | 5     | 10      | left and right margin of the labels              |
// | 6     | 25      | label height                                     |
// | 7     | 5       | gap between a label and its edit                 |
// | 8     | 10      | left and right margin of the edits               |
// | 9     | 25      | edit height                                      |
// | 10    | 10      | gap between the title edit and "Description: "   |
#pragma once

#include <cstdint>

struct tdialog;
struct tedit;
struct timage;
struct tlabel;

constexpr int UPLOAD_INFO_TITLE_CHARS = 128;
constexpr int UPLOAD_INFO_DESCRIPTION_CHARS = 1024;
constexpr int UPLOAD_INFO_LAYOUT_VALUES = 11;
// The application's style kinds of this dialog: before and after building.
enum { UPLOAD_INFO_STYLE_BEFORE = 149, UPLOAD_INFO_STYLE = 148 };
enum { UPLOAD_INFO_TEXT_TITLE_EMPTY = 25241 };

typedef void (*upload_info_dialog_result_fn)(int32_t result, void *user_data);

struct upload_info_dialog {
  tdialog *_dialog;
  timage *_icon;
  tlabel *_prompt, *_title_label, *_description_label;
  tedit *_title_edit, *_description_edit;
  char16_t *_title;        // the caller's, UPLOAD_INFO_TITLE_CHARS
  char16_t *_description;  // the caller's, UPLOAD_INFO_DESCRIPTION_CHARS
  int32_t _width;
  int32_t _layout[UPLOAD_INFO_LAYOUT_VALUES];
  upload_info_dialog_result_fn _on_result;
  void *_user_data;
};

// width -1: the screen's width, at most its height. The buffers hold the
// initial texts and take the results. Null when memory is lacking.
upload_info_dialog *upload_info_dialog_new(const char16_t *title, int32_t width, char16_t *title_buffer,
                                           char16_t *description_buffer, void *user_data);
void upload_info_dialog_show(upload_info_dialog *dialog, int32_t x, int32_t y, int32_t mode);
upload_info_dialog_result_fn upload_info_dialog_set_on_result(upload_info_dialog *dialog,
                                                              upload_info_dialog_result_fn fn);
tdialog *upload_info_dialog_get_dialog(const upload_info_dialog *dialog);
void upload_info_dialog_set_layout(upload_info_dialog *dialog, int32_t index, int32_t value);
