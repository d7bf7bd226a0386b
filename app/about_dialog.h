// about_dialog: the about box: the animated logo, the product icon, the
// version line, the support line with a link to the web site, and a
// "Feedback" button that opens the service's feedback page.
//
// Layout values, by index (about_dialog_set_layout; the application's styler
// sets them before the box is built):
//
// | index | default | use                                   |
// |-------|---------|---------------------------------------|
// | 0     | 10      | left and right margin of the logo     |
// | 1     | 10      | top of the logo                       |
// | 2     | 100     | logo height                           |
// | 3     | 20      | gap from the logo to the icon         |
// | 4     | 10      | left of the icon                      |
// | 5     | 70      | icon width                            |
// | 6     | 70      | icon height                           |
// | 7     | 20      | gap from the icon to the text column  |
// | 8     | 20      | gap from the logo to the version line |
// | 9     | 25      | height of a text line control         |
// | 10    | 10      | gap between text lines                |
//
// The box owns itself from creation until its dialog closes: its parts go
// first, then the dialog, then the record, and only then is the owner's
// callback called. The web link opens the site from an active object of its
// own, which outlives the box if need be and frees itself.
#pragma once

#include <cstdint>

struct about_logo;
struct tbutton;
struct tdialog;
struct timage;
struct tlabel;
struct tlinklabel;

constexpr int ABOUT_DIALOG_LAYOUT_VALUES = 11;

// Texts of the box, by id.
enum {
  ABOUT_TEXT_TITLE = 25135,
  ABOUT_TEXT_VERSION = 25136,
  ABOUT_TEXT_SUPPORT = 25137,
  ABOUT_TEXT_FEEDBACK = 25139,
};

// The application's styler kinds: before the parts exist, and complete.
constexpr int32_t ABOUT_DIALOG_STYLE_BEFORE = 143;
constexpr int32_t ABOUT_DIALOG_STYLE = 142;
// The Feedback button's user data.
constexpr intptr_t ABOUT_DIALOG_FEEDBACK = 2;

typedef void (*about_dialog_result_fn)(int32_t result, void *user_data);

struct about_dialog {
  tdialog *_dialog;
  about_logo *_logo;
  timage *_icon;
  tlabel *_version;
  tlabel *_support;
  tlinklabel *_web;
  tbutton *_feedback;
  int32_t _width;
  int32_t _layout[ABOUT_DIALOG_LAYOUT_VALUES];
  about_dialog_result_fn _on_result;
  void *_user_data;
};

// width -1: the screen's width, but not more than its height. Null when out
// of memory.
about_dialog *about_dialog_new(const char16_t *title, int32_t width, void *user_data);
// The logo updates itself straight to the screen, the text lies on the
// form's grey; shown modally with its width and an automatic height.
void about_dialog_show(about_dialog *dialog, int32_t x, int32_t y, int32_t mode);
tdialog *about_dialog_get_dialog(const about_dialog *dialog);
// Indexes above 10 are ignored.
void about_dialog_set_layout(about_dialog *dialog, int32_t index, int32_t value);
about_dialog_result_fn about_dialog_set_on_result(about_dialog *dialog, about_dialog_result_fn fn);

// The address the web link shows and opens.
const char16_t *about_dialog_get_web_address();

// The command panel's About: the box titled "About", of the standard dialog
// width, dimmed and centred. 0 when it cannot be made.
int about_dialog_open();
