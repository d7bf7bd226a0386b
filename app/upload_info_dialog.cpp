// upload_info_dialog: title and description of a painting to upload.
#include "upload_info_dialog.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app_common.h"
#include "port_log.h"
#include "tdialog.h"
#include "tedit.h"
#include "tform.h"
#include "timage.h"
#include "tlabel.h"
#include "tmessagedialog.h"
#include "tresource.h"
#include "tscreen.h"
#include "tstyler.h"
#include "upload.h"

namespace {

enum {
  k_icon_left, k_icon_top, k_icon_gap, k_prompt_top, k_title_gap, k_label_margin,
  k_label_height, k_edit_gap, k_edit_margin, k_edit_height, k_description_gap,
};
constexpr int32_t k_layout_defaults[UPLOAD_INFO_LAYOUT_VALUES] = {10, 10, 10, 10, 10, 10, 25, 5, 10, 25, 10};
enum { k_icon_bitmap = 15120, k_icon_mask = 15121 };
constexpr int32_t k_missing_icon_side = 45;
enum { k_prompt_text = 25232, k_title_text = 25233, k_description_text = 25234 };
enum { k_icon_id = 1, k_prompt_id, k_title_label_id, k_title_edit_id, k_description_label_id, k_description_edit_id };

tcontrol *control_of(void *widget) { return static_cast<tcontrol *>(widget); }
tsurface *surface_of(void *widget) { return &control_of(widget)->_surface; }
int32_t length_of(const char16_t *text) { return int32_t(std::char_traits<char16_t>::length(text)); }

int make_parts(upload_info_dialog *dialog);
int on_closing(tdialog *dialog, int32_t result, void *owner);
void free_parts(tdialog *dialog, void *owner);
void on_dialog_result(int32_t result, void *owner);
void show_title_error(upload_info_dialog *dialog);

}  // namespace

upload_info_dialog *upload_info_dialog_new(const char16_t *title, int32_t width, char16_t *title_buffer,
                                           char16_t *description_buffer, void *user_data) {
  PORT_CHECK(title_buffer != nullptr && description_buffer != nullptr);
  upload_info_dialog *dialog = static_cast<upload_info_dialog *>(std::calloc(1, sizeof(upload_info_dialog)));
  if (!dialog) return nullptr;
  dialog->_title = title_buffer;
  dialog->_description = description_buffer;
  dialog->_user_data = user_data;
  int32_t screen_width, screen_height;
  tscreen_get_size(tscreen_get(), &screen_width, &screen_height);
  dialog->_width = width == -1 ? std::min(screen_width, screen_height) : width;
  std::copy(k_layout_defaults, k_layout_defaults + UPLOAD_INFO_LAYOUT_VALUES, dialog->_layout);
  tstyler_apply(tstyler_get_default(), dialog, UPLOAD_INFO_STYLE_BEFORE, user_data, 0);

  dialog->_dialog = tdialog_new(title ? title : u"", dialog);
  if (!dialog->_dialog) {
    std::free(dialog);
    return nullptr;
  }
  tdialog_set_on_free(dialog->_dialog, free_parts);
  tcontrol_set_width(tdialog_get_panel(dialog->_dialog), dialog->_width);
  tform *form = tdialog_get_form(dialog->_dialog);
  tform_set_vdrag_locked(form, 1);
  tform_set_hdrag_locked(form, 1);
  tdialog_set_on_result(dialog->_dialog, on_dialog_result);
  tdialog_set_on_closing(dialog->_dialog, on_closing);
  if (!make_parts(dialog)) {
    tdialog_free(dialog->_dialog);
    std::free(dialog);
    return nullptr;
  }
  tform_set_focus_frame_hidden(form, 1);
  tstyler_apply(tstyler_get_default(), dialog, UPLOAD_INFO_STYLE, user_data, 0);
  return dialog;
}

void upload_info_dialog_show(upload_info_dialog *dialog, int32_t x, int32_t y, int32_t mode) {
  PORT_CHECK(dialog != nullptr);
  tlabel_set_transparent(dialog->_prompt, 1);
  tlabel_set_transparent(dialog->_title_label, 1);
  tlabel_set_transparent(dialog->_description_label, 1);
  tdialog_show(dialog->_dialog, x, y, dialog->_width, -1, mode);
}

upload_info_dialog_result_fn upload_info_dialog_set_on_result(upload_info_dialog *dialog,
                                                              upload_info_dialog_result_fn fn) {
  PORT_CHECK(dialog != nullptr);
  upload_info_dialog_result_fn previous = dialog->_on_result;
  dialog->_on_result = fn;
  return previous;
}

tdialog *upload_info_dialog_get_dialog(const upload_info_dialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_dialog;
}

void upload_info_dialog_set_layout(upload_info_dialog *dialog, int32_t index, int32_t value) {
  PORT_CHECK(dialog != nullptr);
  if (index >= 0 && index < UPLOAD_INFO_LAYOUT_VALUES) dialog->_layout[index] = value;
}

namespace {

// Icon, prompt, and a label over an edit for the title and for the
// description, top to bottom; 0 when one cannot be made.
int make_parts(upload_info_dialog *dialog) {
  const int32_t *layout = dialog->_layout;
  tform *form = tdialog_get_form(dialog->_dialog);
  tcontrol *parent = control_of(form);
  const trect *client = tcontrol_get_client_rect(parent);
  int32_t client_width = client->x2 - client->x1 + 1;

  tbitmap *bitmap = tresource_get_bitmap(k_icon_bitmap);
  tbitmap *mask = tresource_get_bitmap(k_icon_mask);
  int32_t icon_width = bitmap ? tbitmap_get_width(bitmap) : k_missing_icon_side;
  int32_t icon_height = bitmap ? tbitmap_get_height(bitmap) : k_missing_icon_side;
  trect rect = {layout[k_icon_left], layout[k_icon_top], layout[k_icon_left] + icon_width - 1,
                layout[k_icon_top] + icon_height - 1};
  dialog->_icon = timage_new(parent, &rect, bitmap, nullptr, 0, dialog);
  if (!dialog->_icon) return 0;
  if (mask) tsurface_set_mask(surface_of(dialog->_icon), mask, 255);
  tform_add_child(form, k_icon_id, control_of(dialog->_icon));

  const char16_t *prompt = tresource_get_string(k_prompt_text, u"Please specify the information below for the paint to upload.");
  rect = {rect.x2 + 1 + layout[k_icon_gap], layout[k_prompt_top], client_width - 2 * layout[k_label_margin] - 1,
          layout[k_prompt_top] + icon_height - 1};
  dialog->_prompt = tlabel_new(parent, &rect, prompt, length_of(prompt), TLABEL_WRAP_FIT, dialog);
  if (!dialog->_prompt) return 0;
  tform_add_child(form, k_prompt_id, control_of(dialog->_prompt));

  int32_t label_right = client_width - layout[k_label_margin] - 1;
  int32_t edit_left = layout[k_edit_margin], edit_right = client_width - layout[k_edit_margin] - 1;
  int32_t top = layout[k_icon_top] + icon_height + layout[k_title_gap];
  const char16_t *title_text = tresource_get_string(k_title_text, u"Title: ");
  rect = {layout[k_label_margin], top, label_right, top + layout[k_label_height] - 1};
  dialog->_title_label = tlabel_new(parent, &rect, title_text, length_of(title_text), TLABEL_LEFT, dialog);
  if (!dialog->_title_label) return 0;
  tform_add_child(form, k_title_label_id, control_of(dialog->_title_label));
  top = rect.y2 + 1 + layout[k_edit_gap];
  rect = {edit_left, top, edit_right, top + layout[k_edit_height] - 1};
  dialog->_title_edit = tedit_new(parent, &rect, dialog->_title, length_of(dialog->_title), dialog);
  if (!dialog->_title_edit) return 0;
  tedit_set_ime(dialog->_title_edit, 1);
  tform_add_child(form, k_title_edit_id, control_of(dialog->_title_edit));

  top = rect.y2 + 1 + layout[k_description_gap];
  const char16_t *description_text = tresource_get_string(k_description_text, u"Description: ");
  rect = {layout[k_label_margin], top, label_right, top + layout[k_label_height] - 1};
  dialog->_description_label =
      tlabel_new(parent, &rect, description_text, length_of(description_text), TLABEL_LEFT, dialog);
  if (!dialog->_description_label) return 0;
  tform_add_child(form, k_description_label_id, control_of(dialog->_description_label));
  top = rect.y2 + 1 + layout[k_edit_gap];
  rect = {edit_left, top, edit_right, top + layout[k_edit_height] - 1};
  // The whole initial description, however long, reaches the edit.
  dialog->_description_edit =
      tedit_new(parent, &rect, dialog->_description, length_of(dialog->_description), dialog);
  if (!dialog->_description_edit) return 0;
  tedit_set_ime(dialog->_description_edit, 1);
  tform_add_child(form, k_description_edit_id, control_of(dialog->_description_edit));
  return 1;
}

// OK needs a title; the texts are taken while the edits still exist.
int on_closing(tdialog *box, int32_t result, void *owner) {
  (void)box;
  upload_info_dialog *dialog = static_cast<upload_info_dialog *>(owner);
  if (result != TDIALOG_RESULT_OK) return 1;
  const char16_t *title = tedit_get_text(dialog->_title_edit);
  if (!title || !title[0]) {
    show_title_error(dialog);
    return 0;
  }
  const char16_t *description = tedit_get_text(dialog->_description_edit);
  upload_copy_text(dialog->_title, UPLOAD_INFO_TITLE_CHARS, title);
  upload_copy_text(dialog->_description, UPLOAD_INFO_DESCRIPTION_CHARS, description ? description : u"");
  return 1;
}

// The form lets go of its children first: an edit that goes with the input
// panel up gives the screen back its size, and that walks the form's
// children, which must not hold one already freed.
void free_parts(tdialog *box, void *owner) {
  upload_info_dialog *dialog = static_cast<upload_info_dialog *>(owner);
  tform_clear_children(tdialog_get_form(box));
  if (dialog->_description_edit) tedit_free(dialog->_description_edit);
  if (dialog->_description_label) tlabel_free(dialog->_description_label);
  if (dialog->_title_edit) tedit_free(dialog->_title_edit);
  if (dialog->_title_label) tlabel_free(dialog->_title_label);
  if (dialog->_prompt) tlabel_free(dialog->_prompt);
  if (dialog->_icon) timage_free(dialog->_icon);
  dialog->_description_edit = dialog->_title_edit = nullptr;
  dialog->_description_label = dialog->_title_label = dialog->_prompt = nullptr;
  dialog->_icon = nullptr;
}

// The dialog is gone; the record goes next and the owner hears last.
void on_dialog_result(int32_t result, void *owner) {
  upload_info_dialog *dialog = static_cast<upload_info_dialog *>(owner);
  upload_info_dialog_result_fn on_result = dialog->_on_result;
  void *user_data = dialog->_user_data;
  std::free(dialog);
  if (on_result) on_result(result, user_data);
}

// The error box as app_common shows it; the dialog it covers has the input
// again when it closes.
void show_title_error(upload_info_dialog *dialog) {
  tmessagedialog *box = tmessagedialog_new(
      tresource_get_string(APP_TEXT_ERROR, u"Error"), app_common_get_dialog_width(),
      tresource_get_string(UPLOAD_INFO_TEXT_TITLE_EMPTY, u"Title can not be empty."), APP_BUTTONS_BACK,
      APP_ICON_ERROR, dialog);
  if (!box) return;
  tdialog_set_dimmed(tmessagedialog_get_dialog(box), 1);
  tmessagedialog_show(box, -1, -1, TDIALOG_PLACE_CENTRE);
}

}  // namespace
