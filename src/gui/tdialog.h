// tdialog: the toolkit's modal window.
//
// A whole-screen, see-through top-level control holding a movable panel
// (title bar above a form) and the soft-key control bar. Showing makes it the
// screen's modal surface and returns at once; nothing blocks. A soft key, an
// added button or an outside tap closes it: the dialog frees itself, repaints
// the screen and only then calls its result callback with (result, owner).
//
// Owns: the panel, title bar, form, control bar and the buttons added with
// tdialog_add_button. Controls a caller puts into the form stay the caller's;
// it frees them in its free hook (tdialog_set_on_free), which runs first when
// the dialog is torn down, so that no child outlives the form it sits in.
//
// Showing takes the modal slot with tsurface_take_modal: freeing gives it to
// the pop-up still up in front, else back to what the dialog covered (another
// dialog, a menu, the application's own modal surface), so a box over a
// dialog hands the keys back to it.
//
// Invariants:
// - the panel's client rect is its rect less the insets, and the stored title
//   rect is the title bar's rect, after every change of the panel's size;
// - from tdialog_close's free on, nothing reads the dialog again.
#pragma once

#include <cstdint>
#include <type_traits>

#include "tcontrol.h"
#include "trect.h"

struct tdialog;
struct tbutton;
struct tcontrolbar;
struct tform;
struct ttitlebar;

// Results of the soft keys as built: left 1, right 0.
enum { TDIALOG_RESULT_CANCEL = 0, TDIALOG_RESULT_OK = 1 };

// Placement modes of tdialog_show: 0 keeps x and y, 1 centres in the free
// area, 2 fills it.
enum { TDIALOG_PLACE_KEEP = 0, TDIALOG_PLACE_CENTRE = 1, TDIALOG_PLACE_FILL = 2 };

typedef void (*tdialog_result_fn)(int32_t result, void *owner);
// 0 keeps the dialog open.
typedef int (*tdialog_closing_fn)(tdialog *dialog, int32_t result, void *owner);
typedef void (*tdialog_free_fn)(tdialog *dialog, void *owner);

struct tdialog {
  tcontrol _control;
  tcontrol *_panel;
  ttitlebar *_titlebar;
  tform *_form;
  tcontrolbar *_controlbar;
  tbutton *_buttons[3];
  trect _panel_rect, _title_rect, _form_rect;
  int32_t _title_height;  // 0 hides the title
  uint8_t _dimmed;
  int32_t _place_x, _place_y, _place_width, _place_height, _place_mode;
  int32_t _inset_left, _inset_top, _inset_right, _inset_bottom;
  int32_t _form_margin;
  int32_t _dragging;
  int32_t _last_pen_x, _last_pen_y;
  uint8_t _close_on_outside_tap;
  int32_t _button_gap, _button_width, _button_height;
  tdialog_result_fn _on_result;
  tdialog_closing_fn _on_closing;
  tdialog_free_fn _on_free;
};

static_assert(std::is_standard_layout_v<tdialog>, "a dialog is cast to its control");

// 0 when the control or one of its parts cannot be made.
int tdialog_init(tdialog *dialog, const char16_t *title, void *owner);
tdialog *tdialog_new(const char16_t *title, void *owner);
void tdialog_deinit(tdialog *dialog);
void tdialog_free(tdialog *dialog);

// -1 for x, y, width or height: automatic. Returns 1.
int tdialog_show(tdialog *dialog, int32_t x, int32_t y, int32_t width, int32_t height, int32_t mode);
// Frees the dialog unless the closing callback keeps it, repaints the
// screen, then calls the result callback.
void tdialog_close(tdialog *dialog, int32_t result);
// Closes every shown dialog with Cancel, the last shown first, with no
// closing callback asked: for the program's end, when nothing can stay
// open. A dialog a result callback shows meanwhile is closed too.
void tdialog_close_all();
// The dialog shown last that is still open, or null.
tdialog *tdialog_get_top();

tdialog_result_fn tdialog_set_on_result(tdialog *dialog, tdialog_result_fn fn);
tdialog_closing_fn tdialog_set_on_closing(tdialog *dialog, tdialog_closing_fn fn);
// Runs first in tdialog_deinit, while the form and its children still exist.
tdialog_free_fn tdialog_set_on_free(tdialog *dialog, tdialog_free_fn fn);
void tdialog_set_dimmed(tdialog *dialog, int flag);
int tdialog_is_dimmed(const tdialog *dialog);
void tdialog_set_close_on_outside_tap(tdialog *dialog, int flag);
void tdialog_set_title(tdialog *dialog, const char16_t *title);
const char16_t *tdialog_get_title(const tdialog *dialog);
void tdialog_set_title_height(tdialog *dialog, int32_t height);
void tdialog_get_insets(const tdialog *dialog, int32_t *left, int32_t *top, int32_t *right, int32_t *bottom);
// The screen less the control bar when it is visible.
void tdialog_get_free_area(const tdialog *dialog, trect *out);

tcontrol *tdialog_get_panel(const tdialog *dialog);
ttitlebar *tdialog_get_titlebar(const tdialog *dialog);
tform *tdialog_get_form(const tdialog *dialog);
tcontrolbar *tdialog_get_controlbar(const tdialog *dialog);
// Null above index 2.
tbutton *tdialog_get_button(const tdialog *dialog, int32_t index);
// The panel's position on the screen.
int32_t tdialog_get_x(const tdialog *dialog);
int32_t tdialog_get_y(const tdialog *dialog);
// The placement mode given to tdialog_show.
int32_t tdialog_get_placement(const tdialog *dialog);

// A button centred below the form's content that closes the dialog with
// result; only the first call adds one.
void tdialog_add_button(tdialog *dialog, const char16_t *text, int32_t result);
void tdialog_add_cancel_button(tdialog *dialog);
