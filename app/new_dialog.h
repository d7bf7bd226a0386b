// new_dialog: the New Empty Paint dialog: the canvas size (two combo boxes of
// common sizes that take digits only) and the canvas colour (a button showing
// it that opens the colour dialog).
//
// The record owns the dialog's controls until the dialog closes; then the
// dialog frees itself, the record writes the result (OK only) and goes, and
// only then is the owner's result called (result, user data). The owner may
// veto OK through the tdialog's closing check, whose owner word is this
// record, reading the sizes with new_dialog_get_width and _height.
//
// The sizes are read as decimal numbers with overflow checks: a field that is
// empty, holds anything but digits or a number beyond 32 bits reads -1 (so a
// range check refuses it) and is never written back.
#pragma once

#include <cstdint>

#include "tbitmap.h"
#include "trect.h"

struct tdialog;
struct tlabel;
struct tcombobox;
struct timage;
struct tbutton;

constexpr int NEW_DIALOG_LAYOUT_VALUES = 14;
constexpr int NEW_DIALOG_SIZE_COUNT = 14;
// Style kinds: the record before the dialog is built, and when it is complete.
constexpr int32_t NEW_DIALOG_STYLE = 134, NEW_DIALOG_STYLE_BEFORE = 135;

typedef void (*new_dialog_result_fn)(int32_t result, void *user_data);

struct new_dialog {
  tdialog *dialog;
  tlabel *size_label;
  tcombobox *width_box, *height_box;
  timage *size_icon;
  tlabel *color_label;
  tbutton *color_button;
  uint32_t color;  // 0x00BBGGRR
  int32_t width;
  tbitmap *marker, *marker_mask;  // borrowed
  int32_t *width_out, *height_out;
  tcolor *color_out;
  int32_t read_width, read_height;  // the fields as the dialog closed
  int32_t layout[NEW_DIALOG_LAYOUT_VALUES];
  new_dialog_result_fn on_result;
  void *user_data;
};

// width -1: the screen's width, but not more than its height. Null when
// memory is lacking.
new_dialog *new_dialog_new(const char16_t *title, int32_t width, int32_t *width_out, int32_t *height_out,
                           tcolor *color_out, void *user_data);
void new_dialog_show(new_dialog *dialog, int32_t x, int32_t y, int32_t mode);
void new_dialog_set_on_result(new_dialog *dialog, new_dialog_result_fn fn);
tdialog *new_dialog_get_dialog(const new_dialog *dialog);
// The fields as numbers; -1 when a field is not a number of 32 bits.
int32_t new_dialog_get_width(const new_dialog *dialog);
int32_t new_dialog_get_height(const new_dialog *dialog);
// Index 0-13 (the layout before the controls are built); others are ignored.
void new_dialog_set_layout(new_dialog *dialog, int32_t index, int32_t value);

// A decimal number of 32 bits from digits only; -1 otherwise.
int32_t new_dialog_parse_size(const char16_t *text);
