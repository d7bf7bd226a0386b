// wait_picture_dialog: the box that stands over the program while the camera
// takes a picture, and the way both waiting boxes are built.
//
// A message box (title, text, an icon) with its soft keys hidden and one
// "Cancel" button across the form (result 0). The record owns the box until
// it closes; then the box frees itself, the record goes, and only then is the
// owner's result called (result, user data).
#pragma once

#include <cstdint>

struct tmessagedialog;
struct wait_picture_dialog;

typedef void (*wait_dialog_result_fn)(int32_t result, void *user_data);

struct wait_picture_dialog {
  tmessagedialog *box;
  int32_t width;
  wait_dialog_result_fn on_result;
  void *user_data;
};

// width -1: the screen's width, but not more than its height. Null when
// memory is lacking.
wait_picture_dialog *wait_picture_dialog_new(const char16_t *title, const char16_t *text, int32_t width,
                                             void *user_data);
void wait_picture_dialog_show(wait_picture_dialog *dialog, int32_t x, int32_t y, int32_t mode);
void wait_picture_dialog_set_on_result(wait_picture_dialog *dialog, wait_dialog_result_fn fn);
// Closes the box with result (the result callback runs; the record is gone
// afterwards).
void wait_picture_dialog_close(wait_picture_dialog *dialog, int32_t result);

// The box both waiting dialogs use: the message box whose results reach
// on_box_result with owner, the icon (image, mask), the soft-key bar hidden
// and the Cancel button across the form. Null when memory is lacking.
tmessagedialog *wait_dialog_build(const char16_t *title, const char16_t *text, int32_t width, int32_t image,
                                  int32_t mask, void (*on_box_result)(int32_t, void *), void *owner);
// The width a dialog of this Part takes for width -1.
int32_t wait_dialog_width(int32_t width);
