// wait_upload_dialog: the "Uploading" box shown while an upload runs.
//
// A message box (its one soft key Cancel answers 0) with the upload icon
// and a frame animation below its text. The box owns itself while shown:
// however it closes, the animation stops and goes with the box's parts,
// then this record, and the owner's callback comes last. Owners keep no
// pointer to it after that callback.
#pragma once

#include <cstdint>

#include "tdialog.h"

struct animation;
struct tmessagedialog;

enum { WAIT_UPLOAD_FRAMES = 4 };
constexpr uint32_t WAIT_UPLOAD_FRAME_MS = 500;

typedef void (*wait_upload_dialog_result_fn)(int32_t result, void *user_data);

struct wait_upload_dialog {
  tmessagedialog *_box;
  int32_t _width;
  animation *_animation;
  wait_upload_dialog_result_fn _on_result;
  void *_user_data;
  tdialog_free_fn _box_free;  // the box's own free hook, run after ours
};

// width -1: the screen's smaller side. Null when memory is lacking.
wait_upload_dialog *wait_upload_dialog_new(int32_t width, void *user_data);
// Shows the box, then runs the animation at 500 ms a frame.
void wait_upload_dialog_show(wait_upload_dialog *dialog, int32_t x, int32_t y, int32_t mode);
wait_upload_dialog_result_fn wait_upload_dialog_set_on_result(wait_upload_dialog *dialog,
                                                              wait_upload_dialog_result_fn fn);
tdialog *wait_upload_dialog_get_dialog(const wait_upload_dialog *dialog);
animation *wait_upload_dialog_get_animation(const wait_upload_dialog *dialog);
void wait_upload_dialog_close(wait_upload_dialog *dialog, int32_t result);
