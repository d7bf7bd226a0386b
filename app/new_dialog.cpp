// new_dialog: canvas size and colour of a new painting.
#include "new_dialog.h"

#include <algorithm>
#include <cstdlib>

#include "app_common.h"
#include "port_log.h"
#include "tbdrawer.h"
#include "tbutton.h"
#include "tcanvas.h"
#include "tcontrolbar.h"
#include "tcolordialog.h"
#include "tcombobox.h"
#include "tdialog.h"
#include "tedit.h"
#include "tform.h"
#include "timage.h"
#include "tlabel.h"
#include "tresource.h"
#include "tscreen.h"
#include "tstyler.h"
#include "twformat.h"

namespace {

constexpr int32_t k_size_text = 25184, k_color_text = 25185;
constexpr int32_t k_size_image = 15130, k_size_mask = 15131;
constexpr int32_t k_marker_image = 14, k_marker_mask = 15;
constexpr int32_t k_digits_only = 4;
constexpr int32_t k_color_dialog_margin = 30, k_color_dialog_gap = 5;

// Layout value indexes (new_dialog_set_layout).
enum {
  L_SIZE_LABEL_SIDE,
  L_SIZE_LABEL_TOP,
  L_SIZE_LABEL_HEIGHT,
  L_SIZE_GAP,
  L_WIDTH_BOX_LEFT,
  L_BOX_WIDTH,
  L_BOX_HEIGHT,
  L_ICON_GAP,
  L_COLOR_GAP,
  L_COLOR_LABEL_SIDE,
  L_COLOR_LABEL_HEIGHT,
  L_BUTTON_GAP,
  L_BUTTON_SIDE,
  L_BUTTON_HEIGHT,
};
constexpr int32_t k_layout_defaults[NEW_DIALOG_LAYOUT_VALUES] = {10, 10, 25, 10, 10, 80, 25, 10, 15, 10, 25, 10, 10, 35};

// The swatch's inset from the button (left, top, right, bottom) and the
// marker's gap from it, by screen class.
constexpr int32_t k_inset_small[4] = {10, 5, 20, 5}, k_inset[4] = {20, 10, 40, 10};
constexpr int32_t k_marker_gap_small = 5, k_marker_gap = 10;

enum { ID_SIZE_LABEL = 1, ID_WIDTH, ID_ICON, ID_HEIGHT, ID_COLOR_LABEL, ID_COLOR_BUTTON };

const char16_t *const k_sizes[NEW_DIALOG_SIZE_COUNT] = {u"16",  u"32",  u"64",  u"128", u"240", u"256", u"320",
                                                        u"360", u"480", u"512", u"600", u"640", u"800", u"1024"};

tcontrol *control_of(void *control) { return static_cast<tcontrol *>(control); }
int make_parts(new_dialog *nd);
void free_parts(tdialog *dialog, void *owner);
void on_dialog_result(int32_t result, void *owner);
void draw_swatch(tbutton *button, tcanvas *canvas, const trect *rect, int *draw_default);
void on_color_click(tbutton *button, intptr_t user_data);
void on_color_result(int32_t result, void *user_data);
void on_more_colors(tcolordialog *dialog, int32_t *x, int32_t *y, int32_t *mode);

}  // namespace

new_dialog *new_dialog_new(const char16_t *title, int32_t width, int32_t *width_out, int32_t *height_out,
                           tcolor *color_out, void *user_data) {
  new_dialog *nd = static_cast<new_dialog *>(std::calloc(1, sizeof(new_dialog)));
  if (!nd) return nullptr;
  int32_t screen_width = 0, screen_height = 0;
  tscreen_get_size(tscreen_get(), &screen_width, &screen_height);
  nd->width = width == -1 ? std::min(screen_width, screen_height) : width;
  nd->width_out = width_out;
  nd->height_out = height_out;
  nd->color_out = color_out;
  nd->color = color_out ? tcolor_key_of(*color_out) : 0xFFFFFF;
  nd->read_width = nd->read_height = -1;
  nd->user_data = user_data;
  nd->marker = tresource_get_bitmap(k_marker_image);
  nd->marker_mask = tresource_get_bitmap(k_marker_mask);
  std::copy(k_layout_defaults, k_layout_defaults + NEW_DIALOG_LAYOUT_VALUES, nd->layout);
  tstyler_apply(tstyler_get_default(), nd, NEW_DIALOG_STYLE_BEFORE, user_data, 0);

  nd->dialog = tdialog_new(title, nd);
  if (!nd->dialog) {
    std::free(nd);
    return nullptr;
  }
  tdialog_set_on_free(nd->dialog, free_parts);
  tcontrol_set_width(tdialog_get_panel(nd->dialog), nd->width);
  tform_set_vdrag_locked(tdialog_get_form(nd->dialog), 1);
  tform_set_hdrag_locked(tdialog_get_form(nd->dialog), 1);
  tdialog_set_on_result(nd->dialog, on_dialog_result);
  if (!make_parts(nd)) {
    tdialog_free(nd->dialog);
    std::free(nd);
    return nullptr;
  }
  tstyler_apply(tstyler_get_default(), nd, NEW_DIALOG_STYLE, user_data, 0);
  return nd;
}

void new_dialog_show(new_dialog *dialog, int32_t x, int32_t y, int32_t mode) {
  PORT_CHECK(dialog != nullptr);
  tdialog_show(dialog->dialog, x, y, dialog->width, -1, mode);
}

void new_dialog_set_on_result(new_dialog *dialog, new_dialog_result_fn fn) {
  PORT_CHECK(dialog != nullptr);
  dialog->on_result = fn;
}

tdialog *new_dialog_get_dialog(const new_dialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->dialog;
}

int32_t new_dialog_get_width(const new_dialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->width_box ? new_dialog_parse_size(tcombobox_get_text(dialog->width_box)) : dialog->read_width;
}

int32_t new_dialog_get_height(const new_dialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->height_box ? new_dialog_parse_size(tcombobox_get_text(dialog->height_box)) : dialog->read_height;
}

void new_dialog_set_layout(new_dialog *dialog, int32_t index, int32_t value) {
  PORT_CHECK(dialog != nullptr);
  if (index >= 0 && index < NEW_DIALOG_LAYOUT_VALUES) dialog->layout[index] = value;
}

int32_t new_dialog_parse_size(const char16_t *text) {
  if (!text || !*text) return -1;
  int64_t value = 0;
  for (; *text; text++) {
    if (*text < u'0' || *text > u'9') return -1;
    value = value * 10 + (*text - u'0');
    if (value > INT32_MAX) return -1;
  }
  return int32_t(value);
}

namespace {

// Labels, the size row and the colour button, top to bottom; 0 when one
// cannot be made.
int make_parts(new_dialog *nd) {
  tform *form = tdialog_get_form(nd->dialog);
  const trect *client = tcontrol_get_client_rect(control_of(form));
  int32_t client_width = client->x2 - client->x1 + 1;
  const int32_t *v = nd->layout;

  trect rect = {v[L_SIZE_LABEL_SIDE], v[L_SIZE_LABEL_TOP], client_width - v[L_SIZE_LABEL_SIDE] - 1,
                v[L_SIZE_LABEL_TOP] + v[L_SIZE_LABEL_HEIGHT] - 1};
  nd->size_label =
      tlabel_new(control_of(form), &rect, tresource_get_string(k_size_text, u"Canvas Size:"), -1, TLABEL_LEFT, nd);
  if (!nd->size_label) return 0;
  tlabel_set_transparent(nd->size_label, 1);
  tform_add_child(form, ID_SIZE_LABEL, control_of(nd->size_label));

  char16_t number[16];
  int32_t top = rect.y2 + 1 + v[L_SIZE_GAP];
  rect = {v[L_WIDTH_BOX_LEFT], top, v[L_WIDTH_BOX_LEFT] + v[L_BOX_WIDTH] - 1, top + v[L_BOX_HEIGHT] - 1};
  twformat(number, 16, u"%d", nd->width_out ? int(*nd->width_out) : 0);
  nd->width_box = tcombobox_new(control_of(form), &rect, TCOMBOBOX_EDITABLE, number, k_sizes,
                                NEW_DIALOG_SIZE_COUNT, -1, nd);
  if (!nd->width_box) return 0;
  tedit_set_input_mode(tcombobox_get_edit(nd->width_box), k_digits_only);
  tform_add_child(form, ID_WIDTH, control_of(nd->width_box));

  tbitmap *icon = tresource_get_bitmap(k_size_image);
  int32_t icon_width = icon ? tbitmap_get_width(icon) : 0, icon_height = icon ? tbitmap_get_height(icon) : 0;
  int32_t icon_left = rect.x2 + 1 + v[L_ICON_GAP], icon_top = top + (v[L_BOX_HEIGHT] - icon_height) / 2;
  trect icon_rect = {icon_left, icon_top, icon_left + icon_width - 1, icon_top + icon_height - 1};
  nd->size_icon = timage_new(control_of(form), &icon_rect, icon, nullptr, 0, nd);
  if (!nd->size_icon) return 0;
  if (tbitmap *mask = tresource_get_bitmap(k_size_mask)) tsurface_set_mask(&nd->size_icon->_control._surface, mask, 255);
  tform_add_child(form, ID_ICON, control_of(nd->size_icon));

  int32_t height_left = icon_rect.x2 + 1 + v[L_ICON_GAP];
  rect = {height_left, top, height_left + v[L_BOX_WIDTH] - 1, top + v[L_BOX_HEIGHT] - 1};
  twformat(number, 16, u"%d", nd->height_out ? int(*nd->height_out) : 0);
  nd->height_box = tcombobox_new(control_of(form), &rect, TCOMBOBOX_EDITABLE, number, k_sizes,
                                 NEW_DIALOG_SIZE_COUNT, -1, nd);
  if (!nd->height_box) return 0;
  tedit_set_input_mode(tcombobox_get_edit(nd->height_box), k_digits_only);
  tform_add_child(form, ID_HEIGHT, control_of(nd->height_box));

  top = rect.y2 + 1 + v[L_COLOR_GAP];
  rect = {v[L_COLOR_LABEL_SIDE], top, client_width - v[L_COLOR_LABEL_SIDE] - 1, top + v[L_COLOR_LABEL_HEIGHT] - 1};
  nd->color_label =
      tlabel_new(control_of(form), &rect, tresource_get_string(k_color_text, u"Canvas Color:"), -1, TLABEL_LEFT, nd);
  if (!nd->color_label) return 0;
  tlabel_set_transparent(nd->color_label, 1);
  tform_add_child(form, ID_COLOR_LABEL, control_of(nd->color_label));

  top = rect.y2 + 1 + v[L_BUTTON_GAP];
  rect = {v[L_BUTTON_SIDE], top, client_width - v[L_BUTTON_SIDE] - 1, top + v[L_BUTTON_HEIGHT] - 1};
  nd->color_button = tbutton_new(control_of(form), &rect, u"", 0, nd);
  if (!nd->color_button) return 0;
  tbutton_set_draw_hooks(nd->color_button, draw_swatch, nullptr, nullptr, nullptr);
  tbutton_set_on_click(nd->color_button, on_color_click);
  tform_add_child(form, ID_COLOR_BUTTON, control_of(nd->color_button));
  return 1;
}

// The dialog is being freed: its form still holds the controls. The sizes
// are kept for the result, which is not known yet. Each control leaves the
// form before it goes: freeing an edit gives the screen back its full size,
// and that resize walks the form's children.
void free_parts(tdialog *dialog, void *owner) {
  new_dialog *nd = static_cast<new_dialog *>(owner);
  nd->read_width = new_dialog_get_width(nd);
  nd->read_height = new_dialog_get_height(nd);
  tform *form = tdialog_get_form(dialog);
  auto release = [form](auto *&part, auto free_fn) {
    if (!part) return;
    tform_remove_child(form, control_of(part));
    free_fn(part);
    part = nullptr;
  };
  release(nd->size_label, tlabel_free);
  release(nd->width_box, tcombobox_free);
  release(nd->size_icon, timage_free);
  release(nd->height_box, tcombobox_free);
  release(nd->color_label, tlabel_free);
  release(nd->color_button, tbutton_free);
}

void on_dialog_result(int32_t result, void *owner) {
  new_dialog *nd = static_cast<new_dialog *>(owner);
  if (result == TDIALOG_RESULT_OK) {
    if (nd->width_out && nd->read_width >= 0) *nd->width_out = nd->read_width;
    if (nd->height_out && nd->read_height >= 0) *nd->height_out = nd->read_height;
    if (nd->color_out) *nd->color_out = tcolor_of_key(nd->color, 255);
  }
  new_dialog_result_fn fn = nd->on_result;
  void *user_data = nd->user_data;
  std::free(nd);
  if (fn) fn(result, user_data);
}

// The button's background: its frame, the current colour in a black frame
// inset from the button, and the marker beside it that says a tap changes it.
void draw_swatch(tbutton *button, tcanvas *canvas, const trect *rect, int *draw_default) {
  new_dialog *nd = static_cast<new_dialog *>(tsurface_get_owner(&button->_control._surface));
  // The button's own frame first (pressed or at rest), then the swatch over
  // it: the default drawing would come after the hook and cover the swatch.
  *draw_default = 0;
  tbdrawer_draw(tbutton_is_pressed(button) ? tbutton_get_pressed_box_drawer(button) : tbutton_get_box_drawer(button),
                canvas, rect);
  bool small = app_common_is_qvga();
  const int32_t *inset = small ? k_inset_small : k_inset;
  trect swatch = {rect->x1 + inset[0], rect->y1 + inset[1], rect->x2 - inset[2], rect->y2 - inset[3]};
  tcanvas_set_pen(canvas, TCANVAS_PEN_SOLID, 1, 0xFF000000u);
  tcolor fill = tcolor_of_key(nd->color, 255);
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, tcolor_to_word(&fill));
  tcanvas_draw_rect(canvas, swatch.x1, swatch.y1, swatch.x2, swatch.y2);
  if (!nd->marker || !nd->marker_mask) return;
  int32_t mw = tbitmap_get_width(nd->marker), mh = tbitmap_get_height(nd->marker);
  tpoint at = {swatch.x2 + 1 + (small ? k_marker_gap_small : k_marker_gap),
               rect->y1 + (rect->y2 - rect->y1 + 1 - mh) / 2};
  trect all = {0, 0, mw - 1, mh - 1};
  tcanvas_draw_bitmap_masked(canvas, &at, nd->marker, &all, nd->marker_mask, 255);
}

void on_color_click(tbutton *button, intptr_t user_data) {
  (void)user_data;
  new_dialog *nd = static_cast<new_dialog *>(tsurface_get_owner(&button->_control._surface));
  app_context *app = app_common_get_app();
  int32_t screen_width = 0, screen_height = 0;
  tscreen_get_size(tscreen_get(), &screen_width, &screen_height);
  tcolordialog *picker = tcolordialog_new(u"", std::min(screen_width, screen_height) - k_color_dialog_margin,
                                          &nd->color, reinterpret_cast<uint32_t *>(app->_recent_colors),
                                          &app->_recent_color_num, nd);
  if (!picker) return;
  tdialog *base = tcolordialog_get_dialog(picker);
  tsurface_set_visible(&tdialog_get_controlbar(base)->_control._surface, 0);
  tdialog_set_dimmed(base, 1);
  tdialog_set_close_on_outside_tap(base, 1);
  tcolordialog_set_on_more_colors(picker, on_more_colors);
  tcolordialog_set_on_result(picker, on_color_result);
  trect at;
  tsurface_get_screen_rect(&button->_control._surface, &at);
  tcolordialog_show(picker, at.x1, at.y2 + 1 + k_color_dialog_gap, 0);
}

void on_color_result(int32_t result, void *user_data) {
  new_dialog *nd = static_cast<new_dialog *>(user_data);
  // Drawn and shown: the form and the dialog compose it on the way up.
  if (result == 1 && nd->color_button) tsurface_update(&nd->color_button->_control._surface, nullptr);
}

void on_more_colors(tcolordialog *dialog, int32_t *x, int32_t *y, int32_t *mode) {
  (void)dialog;
  (void)x;
  (void)y;
  *mode = 1;
}

}  // namespace
