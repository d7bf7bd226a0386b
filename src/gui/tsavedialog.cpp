// tsavedialog: building, "Select Location" and the result.
#include "tsavedialog.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "port_log.h"
#include "port_utf8.h"
#include "tbutton.h"
#include "tcombobox.h"
#include "tdialog.h"
#include "tedit.h"
#include "tform.h"
#include "tlabel.h"
#include "topendialog.h"
#include "tresource.h"
#include "tscreen.h"
#include "tstyler.h"
#include "ttdrawer.h"
#include "wins_graphics.h"

namespace {

enum {
  k_label_side, k_top, k_label_height, k_name_gap, k_name_side, k_name_height, k_location_label_gap,
  k_location_gap, k_location_side, k_location_height, k_type_label_gap, k_type_side, k_type_height, k_type_gap,
};
constexpr int32_t k_layout_defaults[TSAVEDIALOG_LAYOUT_VALUES] = {10, 10, 25, 5, 10, 25, 10, 5, 10, 25, 10, 10, 25, 5};
enum { k_name_label_id = 1, k_name_id, k_location_label_id, k_location_id, k_type_label_id, k_type_id };
constexpr intptr_t LOCATION_BUTTON = 1;

enum { TEXT_NAME = 16, TEXT_LOCATION = 17, TEXT_TYPE = 18, TEXT_SELECT_LOCATION = 19, TEXT_ERROR = 20, TEXT_NO_FOLDER = 21 };
const char16_t *const k_all_files[] = {u"All Files(*.*)/*.*"};

tcontrol *control_of(void *widget) { return static_cast<tcontrol *>(widget); }
tsurface *surface_of(void *widget) { return &control_of(widget)->_surface; }

int make_parts(tsavedialog *dialog, const char16_t *const *types, int32_t type_count);
tlabel *make_label(tsavedialog *dialog, int32_t top, int32_t id, int32_t text_id, const char16_t *text);
void free_parts(tdialog *dialog, void *owner);
void on_dialog_result(int32_t result, void *owner);
void on_location_click(tbutton *button, intptr_t id);
int on_location_closing(tdialog *location, int32_t result, void *owner);
void on_location_result(int32_t result, void *user_data);
void place_location_error(topendialog *location, int32_t *x, int32_t *y, int32_t *mode);
void show_location(tsavedialog *dialog);
void draw_location(tbutton *button, tcanvas *canvas, const trect *rect, int *draw_default);

}  // namespace

tsavedialog *tsavedialog_new(const char16_t *title, int32_t width, char16_t *name, int32_t name_capacity,
                             char16_t *folder, int32_t folder_capacity, const char16_t *const *types,
                             int32_t type_count, int32_t *type, void *user_data) {
  tsavedialog *dialog = static_cast<tsavedialog *>(std::calloc(1, sizeof(tsavedialog)));
  if (!dialog) return nullptr;
  dialog->_name = name;
  dialog->_name_capacity = name ? name_capacity : 0;
  dialog->_folder = folder;
  dialog->_folder_capacity = folder ? folder_capacity : 0;
  dialog->_type = type;
  dialog->_user_data = user_data;
  port_utf8_copy_cut_wide(dialog->_location_folder, TFILELIST_PATH_MAX, folder);
  int32_t screen_width, screen_height;
  tscreen_get_size(tscreen_get(), &screen_width, &screen_height);
  dialog->_width = width == -1 ? std::min(screen_width, screen_height) : width;
  std::copy(k_layout_defaults, k_layout_defaults + TSAVEDIALOG_LAYOUT_VALUES, dialog->_layout);
  tstyler_apply(tstyler_get_default(), dialog, TSTYLE_SAVEDIALOG_BEFORE, user_data, 0);

  dialog->_dialog = tdialog_new(title, dialog);
  if (!dialog->_dialog) {
    std::free(dialog);
    return nullptr;
  }
  tdialog_set_on_free(dialog->_dialog, free_parts);
  tdialog_set_on_result(dialog->_dialog, on_dialog_result);
  tcontrol_set_width(tdialog_get_panel(dialog->_dialog), dialog->_width);
  tform_set_vdrag_locked(tdialog_get_form(dialog->_dialog), 1);
  tform_set_hdrag_locked(tdialog_get_form(dialog->_dialog), 1);
  if (!make_parts(dialog, types, types ? type_count : 0)) {
    tdialog_free(dialog->_dialog);
    std::free(dialog);
    return nullptr;
  }
  tstyler_apply(tstyler_get_default(), dialog, TSTYLE_SAVEDIALOG, user_data, 0);
  return dialog;
}

void tsavedialog_show(tsavedialog *dialog, int32_t x, int32_t y, int32_t mode) {
  PORT_CHECK(dialog != nullptr);
  tdialog_show(dialog->_dialog, x, y, dialog->_width, -1, mode);
}

tsavedialog_result_fn tsavedialog_set_on_result(tsavedialog *dialog, tsavedialog_result_fn fn) {
  PORT_CHECK(dialog != nullptr);
  tsavedialog_result_fn previous = dialog->_on_result;
  dialog->_on_result = fn;
  return previous;
}

void tsavedialog_set_placement_hooks(tsavedialog *dialog, tsavedialog_place_fn location, tsavedialog_place_fn error) {
  PORT_CHECK(dialog != nullptr);
  dialog->_place_location = location;
  dialog->_place_error = error;
}

tdialog *tsavedialog_get_dialog(const tsavedialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_dialog;
}

tedit *tsavedialog_get_name_edit(const tsavedialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_name_edit;
}

tbutton *tsavedialog_get_location_button(const tsavedialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_location_button;
}

tcombobox *tsavedialog_get_type_combobox(const tsavedialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_type_combo;
}

const char16_t *tsavedialog_get_name(const tsavedialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return tedit_get_text(dialog->_name_edit);
}

void *tsavedialog_get_user_data(const tsavedialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_user_data;
}

void tsavedialog_set_layout(tsavedialog *dialog, int32_t index, int32_t value) {
  PORT_CHECK(dialog != nullptr);
  if (index >= 0 && index < TSAVEDIALOG_LAYOUT_VALUES) dialog->_layout[index] = value;
}

namespace {

// Three rows, each a label over its field, top to bottom.
int make_parts(tsavedialog *dialog, const char16_t *const *types, int32_t type_count) {
  tform *form = tdialog_get_form(dialog->_dialog);
  const trect *client = tcontrol_get_client_rect(control_of(form));
  int32_t width = client->x2 - client->x1 + 1;
  const int32_t *v = dialog->_layout;
  auto row = [width](int32_t side, int32_t top, int32_t height) {
    return trect{side, top, width - side - 1, top + height - 1};
  };

  int32_t top = v[k_top];
  dialog->_name_label = make_label(dialog, top, k_name_label_id, TEXT_NAME, u"Name:");
  if (!dialog->_name_label) return 0;
  top += v[k_label_height] + v[k_name_gap];
  trect r = row(v[k_name_side], top, v[k_name_height]);
  dialog->_name_edit = tedit_new(control_of(form), &r, dialog->_name ? dialog->_name : u"", -1, dialog);
  if (!dialog->_name_edit) return 0;
  tcontrol_set_anchors(control_of(dialog->_name_edit), 1, 1, 1, 0);
  tedit_set_ime(dialog->_name_edit, 1);
  tform_add_child(form, k_name_id, control_of(dialog->_name_edit));

  top = r.y2 + 1 + v[k_location_label_gap];
  dialog->_location_label = make_label(dialog, top, k_location_label_id, TEXT_LOCATION, u"Location:");
  if (!dialog->_location_label) return 0;
  top += v[k_label_height] + v[k_location_gap];
  r = row(v[k_location_side], top, v[k_location_height]);
  dialog->_location_button = tbutton_new(control_of(form), &r, dialog->_location_folder, LOCATION_BUTTON, dialog);
  if (!dialog->_location_button) return 0;
  tcontrol_set_anchors(control_of(dialog->_location_button), 1, 1, 1, 0);
  tbutton_set_on_click(dialog->_location_button, on_location_click);
  tbutton_set_draw_hooks(dialog->_location_button, nullptr, nullptr, draw_location, nullptr);
  show_location(dialog);
  tform_add_child(form, k_location_id, control_of(dialog->_location_button));

  top = r.y2 + 1 + v[k_type_label_gap];
  dialog->_type_label = make_label(dialog, top, k_type_label_id, TEXT_TYPE, u"Type:");
  if (!dialog->_type_label) return 0;
  top += v[k_label_height] + v[k_type_gap];
  r = row(v[k_type_side], top, v[k_type_height]);
  int32_t selected = dialog->_type ? *dialog->_type : -1;
  dialog->_type_combo = tcombobox_new(control_of(form), &r, TCOMBOBOX_LIST_ONLY, u"", types, type_count, selected, dialog);
  if (!dialog->_type_combo) return 0;
  // A field fits its font to its height; this one reads in the dialog's text.
  tedit_set_font_size(tcombobox_get_edit(dialog->_type_combo), ttdrawer_get_font_size(tstyler_get_default_tdrawer()));
  tcontrol_set_anchors(control_of(dialog->_type_combo), 1, 1, 1, 0);
  tform_add_child(form, k_type_id, control_of(dialog->_type_combo));
  return 1;
}

tlabel *make_label(tsavedialog *dialog, int32_t top, int32_t id, int32_t text_id, const char16_t *text) {
  tform *form = tdialog_get_form(dialog->_dialog);
  const trect *client = tcontrol_get_client_rect(control_of(form));
  int32_t side = dialog->_layout[k_label_side];
  trect r = {side, top, client->x2 - client->x1 - side, top + dialog->_layout[k_label_height] - 1};
  tlabel *label = tlabel_new(control_of(form), &r, tresource_get_string(text_id, text), -1, TLABEL_LEFT, dialog);
  if (!label) return nullptr;
  tlabel_set_transparent(label, 1);
  tcontrol_set_anchors(control_of(label), 1, 1, 1, 0);
  tform_add_child(form, id, control_of(label));
  return label;
}

// The dialog is being freed: what a result of OK hands over is kept first.
void free_parts(tdialog *shown, void *owner) {
  tsavedialog *dialog = static_cast<tsavedialog *>(owner);
  // Out of the form first: a focused edit's input panel, closing, resizes
  // the screen, and that walk must meet no freed child.
  tform_clear_children(tdialog_get_form(shown));
  if (dialog->_name_edit) {
    const char16_t *text = tedit_get_text(dialog->_name_edit);
    size_t n = std::char_traits<char16_t>::length(text);
    dialog->_closing_name = static_cast<char16_t *>(std::malloc((n + 1) * sizeof(char16_t)));
    if (dialog->_closing_name) std::char_traits<char16_t>::copy(dialog->_closing_name, text, n + 1);
  }
  dialog->_closing_type = dialog->_type_combo ? tcombobox_get_selected(dialog->_type_combo) : -1;
  if (dialog->_type_combo) tcombobox_free(dialog->_type_combo);
  if (dialog->_type_label) tlabel_free(dialog->_type_label);
  if (dialog->_location_button) tbutton_free(dialog->_location_button);
  if (dialog->_location_label) tlabel_free(dialog->_location_label);
  if (dialog->_name_edit) tedit_free(dialog->_name_edit);
  if (dialog->_name_label) tlabel_free(dialog->_name_label);
  dialog->_type_combo = nullptr;
  dialog->_type_label = nullptr;
  dialog->_location_button = nullptr;
  dialog->_location_label = nullptr;
  dialog->_name_edit = nullptr;
  dialog->_name_label = nullptr;
}

// The caller's name, type and folder are written on OK only; the folder
// copy holds up to 259 characters and is cut to the caller's capacity.
void on_dialog_result(int32_t result, void *owner) {
  tsavedialog *dialog = static_cast<tsavedialog *>(owner);
  if (result == TDIALOG_RESULT_OK) {
    if (dialog->_closing_name) port_utf8_copy_cut_wide(dialog->_name, dialog->_name_capacity, dialog->_closing_name);
    if (dialog->_type) *dialog->_type = dialog->_closing_type;
    port_utf8_copy_cut_wide(dialog->_folder, dialog->_folder_capacity, dialog->_location_folder);
  }
  tsavedialog_result_fn on_result = dialog->_on_result;
  void *user_data = dialog->_user_data;
  std::free(dialog->_closing_name);
  std::free(dialog);
  if (on_result) on_result(result, user_data);
}

// "Select Location": an open dialog in folder mode as wide as this one, at
// its position and dimmed like it.
void on_location_click(tbutton *button, intptr_t id) {
  if (id != LOCATION_BUTTON) return;
  tsavedialog *dialog = static_cast<tsavedialog *>(tsurface_get_owner(surface_of(button)));
  topendialog *location =
      topendialog_new(tresource_get_string(TEXT_SELECT_LOCATION, u"Select Location"), dialog->_width,
                      dialog->_location_name, TSAVEDIALOG_NAME_CHARS, dialog->_location_folder, TFILELIST_PATH_MAX,
                      k_all_files, 1, 0, 1, dialog);
  if (!location) return;
  topendialog_set_on_result(location, on_location_result);
  topendialog_set_placement_hooks(location, nullptr, place_location_error);
  tdialog *location_dialog = topendialog_get_dialog(location);
  tdialog_set_on_closing(location_dialog, on_location_closing);
  tdialog_set_dimmed(location_dialog, tdialog_is_dimmed(dialog->_dialog));
  int32_t x = tdialog_get_x(dialog->_dialog), y = tdialog_get_y(dialog->_dialog);
  int32_t mode = tdialog_get_placement(dialog->_dialog);
  if (dialog->_place_location) dialog->_place_location(dialog, &x, &y, &mode);
  topendialog_show(location, x, y, mode);
}

// OK on the drive list names no folder: refused over an error box.
int on_location_closing(tdialog *, int32_t result, void *owner) {
  topendialog *location = static_cast<topendialog *>(owner);
  if (result != TDIALOG_RESULT_OK || topendialog_get_path(location)[0]) return 1;
  topendialog_show_error(location, tresource_get_string(TEXT_ERROR, u"Error"),
                         tresource_get_string(TEXT_NO_FOLDER, u"You must select a valid directory."));
  return 0;
}

void on_location_result(int32_t result, void *user_data) {
  tsavedialog *dialog = static_cast<tsavedialog *>(user_data);
  if (result != TDIALOG_RESULT_OK) return;
  show_location(dialog);
  tsurface_update(surface_of(dialog->_location_button), nullptr);
}

// The button keeps the folder's path ellipsis within its 31 characters and
// draws the one that also fits its width, so the chosen folder's name shows.
void show_location(tsavedialog *dialog) {
  char16_t caption[TBUTTON_CAPTION_UNITS];
  ttdrawer_fit_path(nullptr, nullptr, dialog->_location_folder, -1, INT32_MAX, TBUTTON_CAPTION_UNITS - 1, caption,
                    TBUTTON_CAPTION_UNITS);
  tbutton_set_text(dialog->_location_button, caption);
}

void draw_location(tbutton *button, tcanvas *canvas, const trect *rect, int *draw_default) {
  tsavedialog *dialog = static_cast<tsavedialog *>(tsurface_get_owner(surface_of(button)));
  ttdrawer *drawer = tbutton_is_pressed(button)              ? tbutton_get_pressed_tdrawer(button)
                     : control_of(button)->_focused ? tbutton_get_focused_tdrawer(button)
                                                            : tbutton_get_tdrawer(button);
  wins_graphics_set_font(canvas, ttdrawer_get_font_size(drawer), drawer->_font_face[0] ? drawer->_font_face : nullptr);
  tcanvas_set_font_style(canvas, ttdrawer_get_font_style(drawer));
  wins_graphics_pass *pass = wins_graphics_begin_text(canvas);
  if (!pass) return;
  char16_t shown[TBUTTON_CAPTION_UNITS];
  int32_t length = ttdrawer_fit_path(canvas, pass, dialog->_location_folder, -1, rect->x2 - rect->x1 + 1,
                                     TBUTTON_CAPTION_UNITS - 1, shown, TBUTTON_CAPTION_UNITS);
  wins_graphics_end_text(canvas, pass);
  ttdrawer_draw(drawer, canvas, shown, length, rect);
  *draw_default = 0;
}

void place_location_error(topendialog *location, int32_t *x, int32_t *y, int32_t *mode) {
  tsavedialog *dialog = static_cast<tsavedialog *>(topendialog_get_user_data(location));
  if (dialog->_place_error) dialog->_place_error(dialog, x, y, mode);
}

}  // namespace
