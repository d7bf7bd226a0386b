// help_dialog: the help viewer, one page at a time on a scrolling dialog.
//
// The pages are HTML files in the program folder's help/ (English) and
// help/<language code>/; the first page is help/<code>/index.htm when it
// exists, else help/index.htm. An html_render turns a page into controls on
// the dialog's form; this record keeps every control and bitmap of the page
// and frees them when the page changes, the form is resized (the page is
// rendered again at the new width) or the dialog closes.
//
// A tapped link to another page is followed from a 10 ms one-shot timer, so
// the link's click returns before its control is freed (a refused timer
// follows it from an active object instead); an "http://" link opens the
// browser. While a page other than the index shows, the right soft key reads
// "Back" and returns to index.htm instead of closing.
//
// The page is laid out once the form has the size it shows at (on the
// first layout of the form, or at show for a placement whose height follows
// the page), and again only when the page changes or the form's size does.
//
// The record owns itself from creation until its dialog closes: the page's
// controls go first, then the dialog, then the record, and only then is the
// owner's callback called.
#pragma once

#include <cstdint>

#include "html_render.h"
#include "trect.h"

struct tbitmap;
struct tdialog;
struct timage;
struct tlabel;
struct tlinklabel;
struct tseperator;
struct win_ao;

constexpr int HELP_DIALOG_MAX_BITMAPS = 64;

// Texts of the viewer, by id.
enum {
  HELP_TEXT_CLOSE = 25004,
  HELP_TEXT_TITLE = 25146,
  HELP_TEXT_DIALOG_TITLE = 25169,
  HELP_TEXT_BACK = 25219,
};

// The application's styler kind of the finished viewer.
constexpr int32_t HELP_DIALOG_STYLE = 144;

typedef void (*help_dialog_result_fn)(int32_t result, void *user_data);

struct help_dialog {
  tdialog *_dialog;
  html_render *_render;
  uint32_t _timer;  // the navigation timer while it runs, else 0
  win_ao *_navigate_ao;  // follows the link when no timer could be had
  char16_t _link_target[HTML_RENDER_PATH_CHARS];
  tlabel **_labels;
  int32_t _label_count, _label_capacity;
  tlinklabel **_links;
  int32_t _link_count, _link_capacity;
  tseperator **_seperators;
  int32_t _seperator_count, _seperator_capacity;
  timage **_images;
  int32_t _image_count, _image_capacity;
  tbitmap *_bitmaps[HELP_DIALOG_MAX_BITMAPS];
  int32_t _bitmap_count;
  char16_t _page[HTML_RENDER_PATH_CHARS];
  tcolor _page_color;
  int32_t _width;
  uint8_t _back_mode;
  // The form's size when the page was last laid out (-1 before the first layout).
  int32_t _laid_out_width, _laid_out_height;
  help_dialog_result_fn _on_result;
  void *_user_data;
};

// Builds the dialog and renders the first page for the language code
// ("en_us", "ru_ru", "zh_cn"; null for English). width -1: the screen's width,
// but not more than its height. Null when out of memory.
help_dialog *help_dialog_new(const char16_t *title, int32_t width, const char16_t *lang_code, void *user_data);
// Shows it modally with its width and an automatic height (placement modes of
// tdialog_show): a placement that keeps the width lays the page out first,
// so the height fits it.
void help_dialog_show(help_dialog *dialog, int32_t x, int32_t y, int32_t mode);
tdialog *help_dialog_get_dialog(const help_dialog *dialog);
help_dialog_result_fn help_dialog_set_on_result(help_dialog *dialog, help_dialog_result_fn fn);

// The command panel's Help: the viewer titled "Help" in the language, dimmed,
// filling the free area. 0 when it cannot be made.
int help_dialog_open(const char16_t *lang_code);
