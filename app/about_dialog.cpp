// about_dialog: the about box.
#include "about_dialog.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "about_logo.h"
#include "app_common.h"
#include "port_log.h"
#include "tbdrawer.h"
#include "tbutton.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "tform.h"
#include "timage.h"
#include "tlabel.h"
#include "tlinklabel.h"
#include "tresource.h"
#include "tscreen.h"
#include "tstyler.h"
#include "twformat.h"
#include "win_ao.h"

namespace {

enum {
  k_logo_margin = 0,
  k_logo_top = 1,
  k_logo_height = 2,
  k_icon_gap = 3,
  k_icon_left = 4,
  k_icon_width = 5,
  k_icon_height = 6,
  k_column_gap = 7,
  k_version_gap = 8,
  k_line_height = 9,
  k_line_gap = 10,
};
constexpr int32_t k_layout_defaults[ABOUT_DIALOG_LAYOUT_VALUES] = {10, 10, 100, 20, 10, 70, 70, 20, 20, 25, 10};
enum { k_logo_id = 1, k_icon_id, k_version_id, k_support_id, k_web_id, k_feedback_id };

const char16_t k_version[] = u"1.50.3014";
constexpr int k_version_chars = 128;
const char16_t k_web_address[] = u"http://" BRIVOLA_SERVICE_HOST "/";
constexpr int32_t k_icon_bitmap = 15147, k_icon_mask = 15148;
constexpr tcolor k_grey = tcolor_rgba(192, 192, 192);
constexpr int32_t k_link_gap = 2;       // support line to web link
constexpr int32_t k_button_gap = 10;    // web link to Feedback
// The Feedback button by screen class: its height, and the allowance its
// right edge is worked out with (right = client width - 2 x (icon left +
// side) - column gap - icon width + left + reach).
struct button_metrics {
  int32_t height, side, reach;
};
constexpr button_metrics k_button_small = {25, 30, 65};
constexpr button_metrics k_button_other = {40, 45, 90};

tcontrol *control_of(void *widget) { return static_cast<tcontrol *>(widget); }
tsurface *surface_of(void *widget) { return &control_of(widget)->_surface; }
int32_t length_of(const char16_t *text) { return int32_t(std::char_traits<char16_t>::length(text)); }

int make_parts(about_dialog *dialog);
tlabel *add_label(about_dialog *dialog, int32_t id, tlabel *label);
void on_web_click(tlinklabel *link);
void on_open_web(win_ao *ao, void *user_data);
void on_feedback_click(tbutton *button, intptr_t user_data);
void free_parts(tdialog *base, void *owner);
void on_result(int32_t result, void *owner);

}  // namespace

about_dialog *about_dialog_new(const char16_t *title, int32_t width, void *user_data) {
  about_dialog *dialog = static_cast<about_dialog *>(std::calloc(1, sizeof(about_dialog)));
  if (!dialog) return nullptr;
  dialog->_user_data = user_data;
  int32_t screen_width, screen_height;
  tscreen_get_size(tscreen_get(), &screen_width, &screen_height);
  dialog->_width = width == -1 ? std::min(screen_width, screen_height) : width;
  std::copy(k_layout_defaults, k_layout_defaults + ABOUT_DIALOG_LAYOUT_VALUES, dialog->_layout);
  tstyler_apply(tstyler_get_default(), dialog, ABOUT_DIALOG_STYLE_BEFORE, user_data, 0);

  dialog->_dialog = tdialog_new(title, dialog);
  if (!dialog->_dialog) {
    std::free(dialog);
    return nullptr;
  }
  tdialog *base = dialog->_dialog;
  tdialog_set_on_free(base, free_parts);
  tcontrol_set_width(tdialog_get_panel(base), dialog->_width);
  tform *form = tdialog_get_form(base);
  tform_set_vdrag_locked(form, 1);
  tform_set_hdrag_locked(form, 1);
  tdialog_set_on_result(base, on_result);
  if (!make_parts(dialog)) {
    tdialog_free(base);
    std::free(dialog);
    return nullptr;
  }
  tsurface_set_visible(surface_of(tcontrolbar_get_right_button(tdialog_get_controlbar(base))), 0);
  tbdrawer_set_fill_color(tcontrol_get_box_drawer(control_of(form)), k_grey);
  tform_set_focus_frame_hidden(form, 1);
  tstyler_apply(tstyler_get_default(), dialog, ABOUT_DIALOG_STYLE, user_data, 0);
  return dialog;
}

void about_dialog_show(about_dialog *dialog, int32_t x, int32_t y, int32_t mode) {
  PORT_CHECK(dialog != nullptr);
  tsurface_set_update_mode(surface_of(dialog->_logo), 1, 0);
  tlabel_set_transparent(dialog->_version, 1);
  tlabel_set_transparent(dialog->_support, 1);
  tlabel_set_transparent(&dialog->_web->_label, 1);
  tdialog_show(dialog->_dialog, x, y, dialog->_width, -1, mode);
}

tdialog *about_dialog_get_dialog(const about_dialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_dialog;
}

void about_dialog_set_layout(about_dialog *dialog, int32_t index, int32_t value) {
  PORT_CHECK(dialog != nullptr);
  if (index >= 0 && index < ABOUT_DIALOG_LAYOUT_VALUES) dialog->_layout[index] = value;
}

about_dialog_result_fn about_dialog_set_on_result(about_dialog *dialog, about_dialog_result_fn fn) {
  PORT_CHECK(dialog != nullptr);
  about_dialog_result_fn previous = dialog->_on_result;
  dialog->_on_result = fn;
  return previous;
}

const char16_t *about_dialog_get_web_address() { return k_web_address; }

int about_dialog_open() {
  about_dialog *dialog =
      about_dialog_new(tresource_get_string(ABOUT_TEXT_TITLE, u"About"), app_common_get_dialog_width(), nullptr);
  if (!dialog) return 0;
  tdialog_set_dimmed(dialog->_dialog, 1);
  about_dialog_show(dialog, -1, -1, TDIALOG_PLACE_CENTRE);
  return 1;
}

namespace {

// The logo across the top, the icon below it on the left and the text
// column beside the icon: version, support line, web link, Feedback.
int make_parts(about_dialog *dialog) {
  const int32_t *layout = dialog->_layout;
  tform *form = tdialog_get_form(dialog->_dialog);
  tcontrol *parent = control_of(form);
  const trect *client = tcontrol_get_client_rect(parent);
  int32_t client_width = client->x2 - client->x1;

  trect logo_rect = {layout[k_logo_margin], layout[k_logo_top], client_width - layout[k_logo_margin] - 1,
                     layout[k_logo_top] + layout[k_logo_height] - 1};
  dialog->_logo = about_logo_new(parent, &logo_rect, dialog);
  if (!dialog->_logo) return 0;
  tform_add_child(form, k_logo_id, control_of(dialog->_logo));

  int32_t icon_top = logo_rect.y2 + layout[k_icon_gap];
  trect icon_rect = {layout[k_icon_left], icon_top, layout[k_icon_left] + layout[k_icon_width] - 1,
                     icon_top + layout[k_icon_height] - 1};
  dialog->_icon = timage_new(parent, &icon_rect, tresource_get_bitmap(k_icon_bitmap), tresource_get_bitmap(k_icon_mask),
                             TIMAGE_FIXED, dialog);
  if (!dialog->_icon) return 0;
  tbdrawer_set_fill_color(tcontrol_get_box_drawer(control_of(dialog->_icon)), k_grey);
  tform_add_child(form, k_icon_id, control_of(dialog->_icon));

  int32_t left = icon_rect.x2 + layout[k_column_gap];
  int32_t right = client_width - layout[k_logo_margin];
  char16_t version[k_version_chars];
  twformat(version, k_version_chars, tresource_get_string(ABOUT_TEXT_VERSION, u"Brivola %s %s"), k_version, u"");
  int32_t top = logo_rect.y2 + layout[k_version_gap];
  trect line = {left, top, right, top + layout[k_line_height] - 1};
  dialog->_version = add_label(dialog, k_version_id,
                               tlabel_new(parent, &line, version, length_of(version), TLABEL_WRAP_FIT, dialog));
  if (!dialog->_version) return 0;

  const char16_t *support = tresource_get_string(ABOUT_TEXT_SUPPORT, u"For help and support, please visit our web site.");
  top = tsurface_get_rect(surface_of(dialog->_version))->y2 + layout[k_line_gap];
  line = {left, top, right, top + layout[k_line_height] - 1};
  dialog->_support =
      add_label(dialog, k_support_id, tlabel_new(parent, &line, support, length_of(support), TLABEL_WRAP_FIT, dialog));
  if (!dialog->_support) return 0;

  top = tsurface_get_rect(surface_of(dialog->_support))->y2 + k_link_gap;
  line = {left, top, right, top + layout[k_line_height] - 1};
  dialog->_web = tlinklabel_new(parent, &line, k_web_address, length_of(k_web_address), k_web_address, TLABEL_WRAP_FIT,
                                dialog);
  if (!dialog->_web || !add_label(dialog, k_web_id, &dialog->_web->_label)) return 0;
  tlinklabel_set_on_click(dialog->_web, on_web_click);

  const button_metrics &button = app_common_is_qvga() ? k_button_small : k_button_other;
  top = tsurface_get_rect(surface_of(dialog->_web))->y2 + k_button_gap;
  int32_t button_right = client_width - 2 * (layout[k_icon_left] + button.side) - layout[k_column_gap] -
                         layout[k_icon_width] + left + button.reach;
  trect button_rect = {left, top, button_right, top + button.height - 1};
  dialog->_feedback = tbutton_new(parent, &button_rect, tresource_get_string(ABOUT_TEXT_FEEDBACK, u"Feedback"),
                                  ABOUT_DIALOG_FEEDBACK, dialog);
  if (!dialog->_feedback) return 0;
  tbutton_set_on_click(dialog->_feedback, on_feedback_click);
  tform_add_child(form, k_feedback_id, control_of(dialog->_feedback));
  return 1;
}

// Realised first, a wrapping label fits its height to its lines before the
// next line is placed under it.
tlabel *add_label(about_dialog *dialog, int32_t id, tlabel *label) {
  if (!label) return nullptr;
  tcontrol_realize(control_of(label));
  tform_add_child(tdialog_get_form(dialog->_dialog), id, control_of(label));
  return label;
}

// The tap only signals: the site opens from the loop, outside the click.
void on_web_click(tlinklabel *link) {
  (void)link;
  win_ao *ao = win_ao_new(0);
  win_ao_set_run(ao, on_open_web);
  win_ao_signal(ao);
}

void on_open_web(win_ao *ao, void *user_data) {
  (void)user_data;
  win_ao_free(ao);
  app_common_open_url(k_web_address);
}

void on_feedback_click(tbutton *button, intptr_t user_data) {
  (void)button;
  (void)user_data;
  app_common_open_feedback();
}

// The dialog is being freed: the form still holds the parts.
void free_parts(tdialog *base, void *owner) {
  about_dialog *dialog = static_cast<about_dialog *>(owner);
  tform_clear_children(tdialog_get_form(base));
  if (dialog->_logo) about_logo_free(dialog->_logo);
  if (dialog->_version) tlabel_free(dialog->_version);
  if (dialog->_support) tlabel_free(dialog->_support);
  if (dialog->_web) tlinklabel_free(dialog->_web);
  if (dialog->_icon) timage_free(dialog->_icon);
  if (dialog->_feedback) tbutton_free(dialog->_feedback);
  dialog->_logo = nullptr;
  dialog->_version = dialog->_support = nullptr;
  dialog->_web = nullptr;
  dialog->_icon = nullptr;
  dialog->_feedback = nullptr;
}

// The dialog is gone; the record goes next and the owner hears last.
void on_result(int32_t result, void *owner) {
  about_dialog *dialog = static_cast<about_dialog *>(owner);
  about_dialog_result_fn callback = dialog->_on_result;
  void *user_data = dialog->_user_data;
  std::free(dialog);
  if (callback) callback(result, user_data);
}

}  // namespace
