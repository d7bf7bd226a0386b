// wait_upload_dialog: the "Uploading" box.
#include "wait_upload_dialog.h"

#include <algorithm>
#include <cstdlib>

#include "animation.h"
#include "port_log.h"
#include "tbitmap.h"
#include "tform.h"
#include "tmessagedialog.h"
#include "tresource.h"
#include "tsurface.h"

namespace {

enum { k_title_id = 25235, k_text_id = 25236 };
enum { k_icon_bitmap = 15120, k_icon_mask = 15121, k_frame_bitmap = 15172, k_first_frame_mask = 15173 };
enum { k_animation_child_id = 3 };
constexpr int32_t k_gap_below_text = 10;
constexpr int k_mask_alpha = 192;

tcontrol *control_of(void *widget) { return static_cast<tcontrol *>(widget); }
tsurface *surface_of(void *widget) { return &control_of(widget)->_surface; }

int make_animation(wait_upload_dialog *dialog);
void on_frame(animation *animation);
void free_parts(tdialog *dialog, void *owner);
void on_box_result(int32_t result, void *user_data);

}  // namespace

wait_upload_dialog *wait_upload_dialog_new(int32_t width, void *user_data) {
  wait_upload_dialog *dialog = static_cast<wait_upload_dialog *>(std::calloc(1, sizeof(wait_upload_dialog)));
  if (!dialog) return nullptr;
  dialog->_user_data = user_data;
  dialog->_box = tmessagedialog_new(tresource_get_string(k_title_id, u"Uploading"), width,
                                    tresource_get_string(k_text_id, u"\nUploading paint..."), TMESSAGEDIALOG_CANCEL,
                                    TMESSAGEDIALOG_ICON_NONE, dialog);
  if (!dialog->_box) {
    std::free(dialog);
    return nullptr;
  }
  dialog->_width = dialog->_box->_width;
  tdialog *box_dialog = tmessagedialog_get_dialog(dialog->_box);
  tdialog_set_dimmed(box_dialog, 1);
  tmessagedialog_set_icon(dialog->_box, tresource_get_bitmap(k_icon_bitmap), tresource_get_bitmap(k_icon_mask));
  dialog->_box_free = tdialog_set_on_free(box_dialog, free_parts);
  tmessagedialog_set_on_result(dialog->_box, on_box_result);
  if (!make_animation(dialog)) {
    // The box frees its parts and itself; its result reaches no owner yet.
    tdialog_free(box_dialog);
    std::free(dialog->_box);
    std::free(dialog);
    return nullptr;
  }
  return dialog;
}

void wait_upload_dialog_show(wait_upload_dialog *dialog, int32_t x, int32_t y, int32_t mode) {
  PORT_CHECK(dialog != nullptr);
  tmessagedialog_show(dialog->_box, x, y, mode);
  animation_start(dialog->_animation, WAIT_UPLOAD_FRAME_MS);
}

wait_upload_dialog_result_fn wait_upload_dialog_set_on_result(wait_upload_dialog *dialog,
                                                              wait_upload_dialog_result_fn fn) {
  PORT_CHECK(dialog != nullptr);
  wait_upload_dialog_result_fn previous = dialog->_on_result;
  dialog->_on_result = fn;
  return previous;
}

tdialog *wait_upload_dialog_get_dialog(const wait_upload_dialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return tmessagedialog_get_dialog(dialog->_box);
}

animation *wait_upload_dialog_get_animation(const wait_upload_dialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_animation;
}

void wait_upload_dialog_close(wait_upload_dialog *dialog, int32_t result) {
  PORT_CHECK(dialog != nullptr);
  tdialog_close(tmessagedialog_get_dialog(dialog->_box), result);
}

namespace {

// Four frames of one picture, each seen through its own mask, centred
// below the text; missing pictures leave an empty control.
int make_animation(wait_upload_dialog *dialog) {
  tbitmap *frames[WAIT_UPLOAD_FRAMES], *masks[WAIT_UPLOAD_FRAMES];
  for (int i = 0; i < WAIT_UPLOAD_FRAMES; i++) {
    frames[i] = tresource_get_bitmap(k_frame_bitmap);
    masks[i] = tresource_get_bitmap(k_first_frame_mask + i);
  }
  tform *form = tdialog_get_form(tmessagedialog_get_dialog(dialog->_box));
  int32_t width = frames[0] ? tbitmap_get_width(frames[0]) : 0;
  int32_t height = frames[0] ? tbitmap_get_height(frames[0]) : 0;
  const trect *content = tform_get_content_rect(form);
  const trect *label = tsurface_get_rect(surface_of(tmessagedialog_get_label(dialog->_box)));
  int32_t top = std::max(content->y2, label->y2) + 1 + k_gap_below_text;
  trect rect = {(dialog->_width - width) / 2, top, (dialog->_width - width) / 2 + width - 1, top + height - 1};
  dialog->_animation = animation_new(control_of(form), &rect, frames, masks, WAIT_UPLOAD_FRAMES, 0, dialog);
  if (!dialog->_animation) return 0;
  if (masks[0]) tsurface_set_mask(surface_of(dialog->_animation), masks[0], k_mask_alpha);
  animation_set_frame_callback(dialog->_animation, on_frame);
  tform_add_child(form, k_animation_child_id, control_of(dialog->_animation));
  return 1;
}

void on_frame(animation *animation) {
  tbitmap *mask = animation_get_mask(animation, animation_get_index(animation));
  if (mask) tsurface_set_mask(surface_of(animation), mask, k_mask_alpha);
}

// The dialog is being freed, its form still holding our animation: it goes
// first (its timer with it), then the box's own parts.
void free_parts(tdialog *box_dialog, void *owner) {
  tmessagedialog *box = static_cast<tmessagedialog *>(owner);
  wait_upload_dialog *dialog = static_cast<wait_upload_dialog *>(box->_user_data);
  if (dialog->_animation) {
    animation_free(dialog->_animation);
    dialog->_animation = nullptr;
  }
  if (dialog->_box_free) dialog->_box_free(box_dialog, owner);
}

// The box is gone; this record goes next and the owner hears last.
void on_box_result(int32_t result, void *user_data) {
  wait_upload_dialog *dialog = static_cast<wait_upload_dialog *>(user_data);
  wait_upload_dialog_result_fn on_result = dialog->_on_result;
  void *owner = dialog->_user_data;
  std::free(dialog);
  if (on_result) on_result(result, owner);
}

}  // namespace
