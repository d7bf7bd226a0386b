// wait_screenshot_dialog: the box that counts down ten seconds before a
// screenshot. Each second the text says how many are left; with eight left
// the program's window steps aside so that the screen shows what lies
// beneath; at none the box closes with result 1 and the owner takes the
// picture.
//
// Whatever closes the box (the count, Cancel, the owner) stops the countdown
// and brings the window back before the owner's result runs: a cancelled
// count must not leave the program hidden, nor a timer ticking into a record
// that is gone.
#pragma once

#include <cstdint>

#include "wait_picture_dialog.h"

struct tmessagedialog;

constexpr int32_t WAIT_SCREENSHOT_SECONDS = 10;
constexpr int32_t WAIT_SCREENSHOT_HIDE_AT = 8;
constexpr uint32_t WAIT_SCREENSHOT_TICK_MS = 1000;

struct wait_screenshot_dialog {
  tmessagedialog *box;
  int32_t width;
  uint32_t timer;       // the countdown while it runs, else 0
  int32_t seconds_left;
  uint8_t hid_window;
  wait_dialog_result_fn on_result;
  void *user_data;
};

wait_screenshot_dialog *wait_screenshot_dialog_new(const char16_t *title, const char16_t *text, int32_t width,
                                                   void *user_data);
// Shows the box and starts the countdown.
void wait_screenshot_dialog_show(wait_screenshot_dialog *dialog, int32_t x, int32_t y, int32_t mode);
void wait_screenshot_dialog_set_on_result(wait_screenshot_dialog *dialog, wait_dialog_result_fn fn);
