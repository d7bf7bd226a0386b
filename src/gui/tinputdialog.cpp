// tinputdialog: the input dialog.
#include "tinputdialog.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "port_log.h"
#include "tdialog.h"
#include "tedit.h"
#include "tform.h"
#include "tlabel.h"
#include "tscreen.h"
#include "tstyler.h"

namespace {

enum { k_label_side = 0, k_label_top = 1, k_label_height = 2, k_gap = 3, k_edit_side = 4, k_edit_height = 5 };
constexpr int32_t k_layout_defaults[TINPUTDIALOG_LAYOUT_VALUES] = {10, 10, 25, 10, 10, 25};
enum { k_label_id = 1, k_edit_id = 2 };

tcontrol *control_of(void *widget) { return static_cast<tcontrol *>(widget); }

int make_parts(tinputdialog *input, const char16_t *prompt);
void free_parts(tdialog *dialog, void *owner);
void on_dialog_result(int32_t result, void *owner);

}  // namespace

tinputdialog *tinputdialog_new(const char16_t *title, int32_t width, const char16_t *prompt, char16_t *buffer,
                               int32_t size, void *user_data) {
  tinputdialog *input = static_cast<tinputdialog *>(std::calloc(1, sizeof(tinputdialog)));
  if (!input) return nullptr;
  input->_buffer = buffer;
  input->_size = buffer ? size : 0;
  input->_user_data = user_data;
  int32_t screen_width, screen_height;
  tscreen_get_size(tscreen_get(), &screen_width, &screen_height);
  input->_width = width == -1 ? std::min(screen_width, screen_height) : width;
  std::copy(k_layout_defaults, k_layout_defaults + TINPUTDIALOG_LAYOUT_VALUES, input->_layout);
  tstyler_apply(tstyler_get_default(), input, TSTYLE_INPUTDIALOG_BEFORE, user_data, 0);

  input->_dialog = tdialog_new(title, input);
  if (!input->_dialog) {
    std::free(input);
    return nullptr;
  }
  tdialog *dialog = input->_dialog;
  tdialog_set_on_free(dialog, free_parts);
  tcontrol_set_width(tdialog_get_panel(dialog), input->_width);
  tform_set_vdrag_locked(tdialog_get_form(dialog), 1);
  tform_set_hdrag_locked(tdialog_get_form(dialog), 1);
  tdialog_set_on_result(dialog, on_dialog_result);
  if (!make_parts(input, prompt ? prompt : u"")) {
    tdialog_free(dialog);
    std::free(input);
    return nullptr;
  }
  tstyler_apply(tstyler_get_default(), input, TSTYLE_INPUTDIALOG, user_data, 0);
  return input;
}

void tinputdialog_show(tinputdialog *input, int32_t x, int32_t y, int32_t mode) {
  PORT_CHECK(input != nullptr);
  tedit_select_all(input->_edit);
  tdialog_show(input->_dialog, x, y, input->_width, -1, mode);
}

tinputdialog_result_fn tinputdialog_set_on_result(tinputdialog *input, tinputdialog_result_fn fn) {
  PORT_CHECK(input != nullptr);
  tinputdialog_result_fn previous = input->_on_result;
  input->_on_result = fn;
  return previous;
}

tdialog *tinputdialog_get_dialog(const tinputdialog *input) {
  PORT_CHECK(input != nullptr);
  return input->_dialog;
}

tedit *tinputdialog_get_edit(const tinputdialog *input) {
  PORT_CHECK(input != nullptr);
  return input->_edit;
}

const char16_t *tinputdialog_get_text(const tinputdialog *input) {
  PORT_CHECK(input != nullptr);
  return tedit_get_text(input->_edit);
}

void *tinputdialog_get_user_data(const tinputdialog *input) {
  PORT_CHECK(input != nullptr);
  return input->_user_data;
}

void tinputdialog_set_layout(tinputdialog *input, int32_t index, int32_t value) {
  PORT_CHECK(input != nullptr);
  if (index >= 0 && index < TINPUTDIALOG_LAYOUT_VALUES) input->_layout[index] = value;
}

namespace {

// The prompt across the top, the edit below it; 0 when one cannot be made.
int make_parts(tinputdialog *input, const char16_t *prompt) {
  tform *form = tdialog_get_form(input->_dialog);
  const trect *client = tcontrol_get_client_rect(control_of(form));
  int32_t client_width = client->x2 - client->x1 + 1;
  const int32_t *v = input->_layout;
  trect label_rect = {v[k_label_side], v[k_label_top], client_width - v[k_label_side] - 1,
                      v[k_label_top] + v[k_label_height] - 1};
  input->_label = tlabel_new(control_of(form), &label_rect, prompt, -1, TLABEL_LEFT, input);
  if (!input->_label) return 0;
  tlabel_set_transparent(input->_label, 1);
  tform_add_child(form, k_label_id, control_of(input->_label));

  int32_t top = label_rect.y2 + 1 + v[k_gap];
  trect edit_rect = {v[k_edit_side], top, client_width - v[k_edit_side] - 1, top + v[k_edit_height] - 1};
  input->_edit = tedit_new(control_of(form), &edit_rect, input->_buffer ? input->_buffer : u"", -1, input);
  if (!input->_edit) return 0;
  tform_add_child(form, k_edit_id, control_of(input->_edit));
  tedit_set_ime(input->_edit, 1);
  return 1;
}

// The dialog is being freed: its form still holds label and edit. The
// edit's text is kept for the result, which is not known yet.
void free_parts(tdialog *dialog, void *owner) {
  tinputdialog *input = static_cast<tinputdialog *>(owner);
  // Out of the form first: a focused edit's input panel, closing, resizes
  // the screen, and that walk must meet no freed child.
  tform_clear_children(tdialog_get_form(dialog));
  if (input->_edit) {
    std::u16string text = tedit_get_text(input->_edit);
    input->_closing_text = static_cast<char16_t *>(std::malloc((text.size() + 1) * sizeof(char16_t)));
    if (input->_closing_text) std::char_traits<char16_t>::copy(input->_closing_text, text.c_str(), text.size() + 1);
    tedit_free(input->_edit);
  }
  if (input->_label) tlabel_free(input->_label);
  input->_edit = nullptr;
  input->_label = nullptr;
}

void on_dialog_result(int32_t result, void *owner) {
  tinputdialog *input = static_cast<tinputdialog *>(owner);
  if (result == 1 && input->_closing_text && input->_size > 0) {
    size_t n = std::min(std::char_traits<char16_t>::length(input->_closing_text), size_t(input->_size - 1));
    std::char_traits<char16_t>::copy(input->_buffer, input->_closing_text, n);
    input->_buffer[n] = 0;
  }
  tinputdialog_result_fn on_result = input->_on_result;
  void *user_data = input->_user_data;
  std::free(input->_closing_text);
  std::free(input);
  if (on_result) on_result(result, user_data);
}

}  // namespace
