// tmessagedialog: the message box.
#include "tmessagedialog.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "port_log.h"
#include "tbutton.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "tform.h"
#include "timage.h"
#include "tlabel.h"
#include "tresource.h"
#include "tscreen.h"
#include "tstyler.h"

namespace {

enum { k_icon_left = 0, k_top = 1, k_label_height = 2, k_icon_gap = 3 };
constexpr int32_t k_layout_defaults[TMESSAGEDIALOG_LAYOUT_VALUES] = {10, 10, 100, 20};
constexpr int32_t k_label_left_alone = 9;
constexpr int32_t k_label_right_margin = 11;
constexpr tcolor k_icon_fill = tcolor_rgba(255, 0, 255);
enum { k_icon_id = 1, k_label_id = 2 };

// Toolkit bitmap ids of each icon kind: the picture, then its mask.
struct icon_pictures {
  int32_t image, mask;
};
constexpr icon_pictures k_icons[TMESSAGEDIALOG_ICON_KINDS] = {{0, 0}, {4, 5},  {12, 13}, {2, 3},
                                                                {10, 11}, {8, 9}, {6, 7}};

// A soft key of a set; a null text hides it.
struct soft_key {
  int32_t text_id;
  const char16_t *text;
  int32_t result;
};
struct button_set {
  soft_key left, right;
};
constexpr soft_key k_hidden = {0, nullptr, 0};
constexpr soft_key k_ok = {2, u"OK", 1};
constexpr soft_key k_cancel = {3, u"Cancel", 0};
constexpr soft_key k_yes = {4, u"Yes", TMESSAGEDIALOG_RESULT_YES};
constexpr soft_key k_no = {5, u"No", TMESSAGEDIALOG_RESULT_NO};
constexpr soft_key k_back = {7, u"Back", TMESSAGEDIALOG_RESULT_BACK};
constexpr button_set k_sets[] = {
    {k_ok, k_hidden}, {k_hidden, k_cancel}, {k_ok, k_cancel},       {k_yes, k_hidden},
    {k_yes, k_no},    {k_hidden, k_back},   {k_hidden, k_hidden},
};

tcontrol *control_of(void *widget) { return static_cast<tcontrol *>(widget); }
tsurface *surface_of(void *widget) { return &control_of(widget)->_surface; }

void set_soft_key(tbutton *button, const soft_key &key);
int make_parts(tmessagedialog *box, const char16_t *text);
void lay_out(tmessagedialog *box, tbitmap *bitmap, tbitmap *mask);
void free_parts(tdialog *dialog, void *owner);
void on_dialog_result(int32_t result, void *owner);

}  // namespace

tmessagedialog *tmessagedialog_new(const char16_t *title, int32_t width, const char16_t *text, int32_t buttons,
                                   int32_t icon_kind, void *user_data) {
  tmessagedialog *box = static_cast<tmessagedialog *>(std::calloc(1, sizeof(tmessagedialog)));
  if (!box) return nullptr;
  box->_buttons = buttons;
  box->_icon_kind = icon_kind;
  box->_user_data = user_data;
  int32_t screen_width, screen_height;
  tscreen_get_size(tscreen_get(), &screen_width, &screen_height);
  box->_width = width == -1 ? std::min(screen_width, screen_height) : width;
  std::copy(k_layout_defaults, k_layout_defaults + TMESSAGEDIALOG_LAYOUT_VALUES, box->_layout);
  tstyler_apply(tstyler_get_default(), box, TSTYLE_MESSAGEDIALOG_BEFORE, user_data, 0);

  box->_dialog = tdialog_new(title, box);
  if (!box->_dialog) {
    std::free(box);
    return nullptr;
  }
  tdialog *dialog = box->_dialog;
  tdialog_set_on_free(dialog, free_parts);
  tcontrol_set_width(tdialog_get_panel(dialog), box->_width);
  tform_set_vdrag_locked(tdialog_get_form(dialog), 1);
  tform_set_hdrag_locked(tdialog_get_form(dialog), 1);
  tdialog_set_on_result(dialog, on_dialog_result);
  if (buttons >= 0 && buttons < int32_t(sizeof k_sets / sizeof k_sets[0])) {
    tcontrolbar *bar = tdialog_get_controlbar(dialog);
    set_soft_key(tcontrolbar_get_left_button(bar), k_sets[buttons].left);
    set_soft_key(tcontrolbar_get_right_button(bar), k_sets[buttons].right);
  }
  if (!make_parts(box, text ? text : u"")) {
    tdialog_free(dialog);
    std::free(box);
    return nullptr;
  }
  tstyler_apply(tstyler_get_default(), box, TSTYLE_MESSAGEDIALOG, user_data, 0);
  return box;
}

void tmessagedialog_show(tmessagedialog *box, int32_t x, int32_t y, int32_t mode) {
  PORT_CHECK(box != nullptr);
  tlabel_set_transparent(box->_label, 1);
  tdialog_show(box->_dialog, x, y, box->_width, -1, mode);
}

tmessagedialog_result_fn tmessagedialog_set_on_result(tmessagedialog *box, tmessagedialog_result_fn fn) {
  PORT_CHECK(box != nullptr);
  tmessagedialog_result_fn previous = box->_on_result;
  box->_on_result = fn;
  return previous;
}

tdialog *tmessagedialog_get_dialog(const tmessagedialog *box) {
  PORT_CHECK(box != nullptr);
  return box->_dialog;
}

tlabel *tmessagedialog_get_label(const tmessagedialog *box) {
  PORT_CHECK(box != nullptr);
  return box->_label;
}

void tmessagedialog_set_icon(tmessagedialog *box, tbitmap *bitmap, tbitmap *mask) {
  PORT_CHECK(box != nullptr);
  lay_out(box, bitmap, mask);
  tform *form = tdialog_get_form(box->_dialog);
  tcontrol_layout(control_of(form), tsurface_get_rect(surface_of(form)));
}

void tmessagedialog_set_layout(tmessagedialog *box, int32_t index, int32_t value) {
  PORT_CHECK(box != nullptr);
  if (index >= 0 && index < TMESSAGEDIALOG_LAYOUT_VALUES) box->_layout[index] = value;
}

namespace {

void set_soft_key(tbutton *button, const soft_key &key) {
  if (!key.text) {
    tsurface_set_visible(surface_of(button), 0);
    return;
  }
  tbutton_set_text(button, tresource_get_string(key.text_id, key.text));
  tbutton_set_user_data(button, key.result);
}

// Icon and label in the form; 0 when one cannot be made.
int make_parts(tmessagedialog *box, const char16_t *text) {
  tform *form = tdialog_get_form(box->_dialog);
  icon_pictures pictures = {0, 0};
  if (box->_icon_kind >= 0 && box->_icon_kind < TMESSAGEDIALOG_ICON_KINDS) pictures = k_icons[box->_icon_kind];
  tbitmap *bitmap = pictures.image ? tresource_get_bitmap(pictures.image) : nullptr;
  tbitmap *mask = pictures.mask ? tresource_get_bitmap(pictures.mask) : nullptr;

  trect none = {0, 0, -1, -1};
  box->_icon = timage_new(control_of(form), &none, nullptr, nullptr, 0, box);
  if (!box->_icon) return 0;
  tbdrawer *fill = tcontrol_get_box_drawer(control_of(box->_icon));
  tbdrawer_set_no_border(fill);
  tbdrawer_set_fill_color(fill, k_icon_fill);
  box->_label = tlabel_new(control_of(form), &none, text, int32_t(std::char_traits<char16_t>::length(text)), TLABEL_WRAP_FIT, box);
  if (!box->_label) return 0;
  lay_out(box, bitmap, mask);
  tform_add_child(form, k_icon_id, control_of(box->_icon));
  // Realised now, the label fits its height to its lines before the form
  // measures its content.
  tcontrol_realize(control_of(box->_label));
  tform_add_child(form, k_label_id, control_of(box->_label));
  return 1;
}

// Icon at the layout's corner with the picture's size, the label to its
// right (or from x 9 without one) up to 11 pixels short of the form's edge.
void lay_out(tmessagedialog *box, tbitmap *bitmap, tbitmap *mask) {
  tcontrol *icon = control_of(box->_icon);
  int32_t left = box->_layout[k_icon_left], top = box->_layout[k_top];
  int32_t label_left = k_label_left_alone;
  timage_set_bitmap(box->_icon, bitmap);
  if (bitmap) {
    tcontrol_set_rect(icon, left, top, tbitmap_get_width(bitmap), tbitmap_get_height(bitmap));
    if (mask)
      tsurface_set_mask(surface_of(icon), mask, 255);
    else
      tsurface_set_mask_enabled(surface_of(icon), 0);
    label_left = tsurface_get_rect(surface_of(icon))->x2 + box->_layout[k_icon_gap];
  } else {
    tcontrol_set_rect(icon, left, top, 0, 0);
  }
  tsurface_set_visible(surface_of(icon), bitmap ? 1 : 0);
  const trect *client = tcontrol_get_client_rect(control_of(tdialog_get_form(box->_dialog)));
  int32_t label_right = client->x2 - client->x1 + 1 - k_label_right_margin;
  tcontrol_set_rect(control_of(box->_label), label_left, top, label_right - label_left + 1,
                    box->_layout[k_label_height]);
}

// The dialog is being freed: its form still holds icon and label.
void free_parts(tdialog *dialog, void *owner) {
  (void)dialog;
  tmessagedialog *box = static_cast<tmessagedialog *>(owner);
  if (box->_label) tlabel_free(box->_label);
  if (box->_icon) timage_free(box->_icon);
  box->_label = nullptr;
  box->_icon = nullptr;
}

// The dialog is gone; the record goes next and the owner hears last.
void on_dialog_result(int32_t result, void *owner) {
  tmessagedialog *box = static_cast<tmessagedialog *>(owner);
  tmessagedialog_result_fn on_result = box->_on_result;
  void *user_data = box->_user_data;
  std::free(box);
  if (on_result) on_result(result, user_data);
}

}  // namespace
