// wait_screenshot_dialog: the countdown before a screenshot.
#include "wait_screenshot_dialog.h"

#include <cstdlib>

#include "port_log.h"
#include "tdialog.h"
#include "tlabel.h"
#include "tmessagedialog.h"
#include "tresource.h"
#include "twformat.h"
#include "wins_timer.h"
#include "wins_window.h"

namespace {

constexpr int32_t k_screenshot_image = 15137, k_screenshot_mask = 15138;
constexpr int32_t k_seconds_text = 25134;
constexpr int k_text_chars = 128;

void on_box_result(int32_t result, void *user_data);
void on_tick(uint32_t timer, void *user_data);
void stop_countdown(wait_screenshot_dialog *dialog);

}  // namespace

wait_screenshot_dialog *wait_screenshot_dialog_new(const char16_t *title, const char16_t *text, int32_t width,
                                                   void *user_data) {
  wait_screenshot_dialog *dialog =
      static_cast<wait_screenshot_dialog *>(std::calloc(1, sizeof(wait_screenshot_dialog)));
  if (!dialog) return nullptr;
  dialog->width = wait_dialog_width(width);
  dialog->seconds_left = WAIT_SCREENSHOT_SECONDS;
  dialog->user_data = user_data;
  dialog->box =
      wait_dialog_build(title, text, dialog->width, k_screenshot_image, k_screenshot_mask, on_box_result, dialog);
  if (!dialog->box) {
    std::free(dialog);
    return nullptr;
  }
  return dialog;
}

void wait_screenshot_dialog_show(wait_screenshot_dialog *dialog, int32_t x, int32_t y, int32_t mode) {
  PORT_CHECK(dialog != nullptr);
  tmessagedialog_show(dialog->box, x, y, mode);
  dialog->timer = wins_timer_start(WAIT_SCREENSHOT_TICK_MS, 0, on_tick, dialog);
  // No timer, no count: the picture is taken at once.
  if (!dialog->timer) tdialog_close(tmessagedialog_get_dialog(dialog->box), 1);
}

void wait_screenshot_dialog_set_on_result(wait_screenshot_dialog *dialog, wait_dialog_result_fn fn) {
  PORT_CHECK(dialog != nullptr);
  dialog->on_result = fn;
}

namespace {

void on_tick(uint32_t timer, void *user_data) {
  (void)timer;
  wait_screenshot_dialog *dialog = static_cast<wait_screenshot_dialog *>(user_data);
  dialog->seconds_left--;
  char16_t line[k_text_chars];
  twformat(line, k_text_chars, tresource_get_string(k_seconds_text, u"\nScreen will be captured in %d seconds."),
           int(dialog->seconds_left));
  tlabel *label = tmessagedialog_get_label(dialog->box);
  tlabel_set_text(label, line, -1);
  tsurface_paint(&label->_control._surface);
  if (dialog->seconds_left == WAIT_SCREENSHOT_HIDE_AT) {
    wins_window_hide();
    dialog->hid_window = 1;
  }
  if (dialog->seconds_left <= 0) {
    stop_countdown(dialog);
    tdialog_close(tmessagedialog_get_dialog(dialog->box), 1);
  }
}

void stop_countdown(wait_screenshot_dialog *dialog) {
  if (dialog->timer) wins_timer_stop(dialog->timer);
  dialog->timer = 0;
}

void on_box_result(int32_t result, void *user_data) {
  wait_screenshot_dialog *dialog = static_cast<wait_screenshot_dialog *>(user_data);
  stop_countdown(dialog);
  // A count that ends shows the window only after the owner took the
  // picture; any other close shows it at once.
  if (dialog->hid_window && (result != 1 || !dialog->on_result)) wins_window_show();
  wait_dialog_result_fn fn = dialog->on_result;
  void *owner = dialog->user_data;
  std::free(dialog);
  if (fn) fn(result, owner);
}

}  // namespace
