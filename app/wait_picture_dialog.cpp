// wait_picture_dialog: the camera's waiting box and the builder of both.
#include "wait_picture_dialog.h"

#include <algorithm>
#include <cstdlib>

#include "app_common.h"
#include "port_log.h"
#include "tbutton.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "tform.h"
#include "tmessagedialog.h"
#include "tresource.h"
#include "tscreen.h"

namespace {

constexpr int32_t k_camera_image = 15135, k_camera_mask = 15136;
constexpr int32_t k_button_left = 10;
constexpr int32_t k_button_inset_small = 25, k_button_inset = 16;
constexpr int32_t k_button_small = 20, k_button_large = 45, k_button_normal = 30;

void on_box_result(int32_t result, void *user_data);

}  // namespace

wait_picture_dialog *wait_picture_dialog_new(const char16_t *title, const char16_t *text, int32_t width,
                                             void *user_data) {
  wait_picture_dialog *dialog = static_cast<wait_picture_dialog *>(std::calloc(1, sizeof(wait_picture_dialog)));
  if (!dialog) return nullptr;
  dialog->width = wait_dialog_width(width);
  dialog->user_data = user_data;
  dialog->box = wait_dialog_build(title, text, dialog->width, k_camera_image, k_camera_mask, on_box_result, dialog);
  if (!dialog->box) {
    std::free(dialog);
    return nullptr;
  }
  return dialog;
}

void wait_picture_dialog_show(wait_picture_dialog *dialog, int32_t x, int32_t y, int32_t mode) {
  PORT_CHECK(dialog != nullptr);
  tmessagedialog_show(dialog->box, x, y, mode);
}

void wait_picture_dialog_set_on_result(wait_picture_dialog *dialog, wait_dialog_result_fn fn) {
  PORT_CHECK(dialog != nullptr);
  dialog->on_result = fn;
}

void wait_picture_dialog_close(wait_picture_dialog *dialog, int32_t result) {
  PORT_CHECK(dialog != nullptr);
  tdialog_close(tmessagedialog_get_dialog(dialog->box), result);
}

tmessagedialog *wait_dialog_build(const char16_t *title, const char16_t *text, int32_t width, int32_t image,
                                  int32_t mask, void (*on_box_result)(int32_t, void *), void *owner) {
  tmessagedialog *box = tmessagedialog_new(title, width, text, TMESSAGEDIALOG_CANCEL, 0, owner);
  if (!box) return nullptr;
  tmessagedialog_set_on_result(box, on_box_result);
  tdialog *dialog = tmessagedialog_get_dialog(box);
  tdialog_set_dimmed(dialog, 1);
  tsurface_set_visible(&tdialog_get_controlbar(dialog)->_control._surface, 0);
  tmessagedialog_set_icon(box, tresource_get_bitmap(image), tresource_get_bitmap(mask));
  tdialog_add_cancel_button(dialog);
  if (tbutton *cancel = tdialog_get_button(dialog, 0)) {
    tcontrol *control = &cancel->_control;
    bool small = app_common_is_qvga(), large = app_common_is_vga();
    int32_t inset = small || large ? k_button_inset_small : k_button_inset;
    int32_t height = small ? k_button_small : large ? k_button_large : k_button_normal;
    tcontrol_set_rect(control, k_button_left, tsurface_get_rect(&control->_surface)->y1, width - inset, height);
    tform *form = tdialog_get_form(dialog);
    tform_remove_child(form, control);
    tform_add_child(form, tform_get_child_count(form) + 1, control);
  }
  return box;
}

int32_t wait_dialog_width(int32_t width) {
  if (width != -1) return width;
  int32_t screen_width = 0, screen_height = 0;
  tscreen_get_size(tscreen_get(), &screen_width, &screen_height);
  return std::min(screen_width, screen_height);
}

namespace {

void on_box_result(int32_t result, void *user_data) {
  wait_picture_dialog *dialog = static_cast<wait_picture_dialog *>(user_data);
  wait_dialog_result_fn fn = dialog->on_result;
  void *owner = dialog->user_data;
  std::free(dialog);
  if (fn) fn(result, owner);
}

}  // namespace
