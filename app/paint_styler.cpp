// paint_styler: the application's look, by style kind.
#include "paint_styler.h"

#include <cstddef>
#include <cstdlib>
#include <initializer_list>

#include "about_dialog.h"
#include "app_common.h"
#include "mypaints_dialog.h"
#include "new_dialog.h"
#include "port_log.h"
#include "tadvcolordialog.h"
#include "tbdrawer.h"
#include "tbutton.h"
#include "tcolordialog.h"
#include "tcombobox.h"
#include "tcontrol.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "tedit.h"
#include "tfilelist.h"
#include "tform.h"
#include "thint.h"
#include "tinputdialog.h"
#include "tlabel.h"
#include "tlistbox.h"
#include "tmenu.h"
#include "tmessagedialog.h"
#include "topendialog.h"
#include "tsavedialog.h"
#include "tscrollbar.h"
#include "tstyler.h"
#include "ttdrawer.h"
#include "ttitlebar.h"
#include "upload_info_dialog.h"

namespace {

// Gradient ends as key words (0x00BBGGRR).
constexpr uint32_t k_light = 0x00C8C8C8;  // (200, 200, 200)
constexpr uint32_t k_dark = 0x00808080;   // (128, 128, 128)

constexpr tcolor k_black = tcolor_rgba(0, 0, 0);
constexpr tcolor k_grey = tcolor_rgba(128, 128, 128);
constexpr tcolor k_dark_grey = tcolor_rgba(64, 64, 64);
constexpr tcolor k_magenta = tcolor_rgba(255, 0, 255);
constexpr tcolor k_white = tcolor_rgba(255, 255, 255);
constexpr tcolor k_hint_fill = tcolor_rgba(128, 128, 255);
constexpr tcolor k_file_list_fill = tcolor_rgba(221, 221, 221);

enum screen_class { CLASS_SMALL, CLASS_NORMAL, CLASS_LARGE, CLASS_COUNT };

constexpr int32_t k_title_height_small = 15, k_title_height_large = 48;
constexpr int32_t k_edit_padding_large[3] = {3, 3, 5};       // left, right, top and bottom
constexpr int32_t k_location_padding_large[3] = {48, 3, 5};  // the open dialog's location field
constexpr int32_t k_menu_item_height[CLASS_COUNT] = {20, 40, 52};
constexpr int32_t k_file_item_height_small = 16, k_file_item_height_large = 45;
constexpr int32_t k_file_icon_width_large = 45;
constexpr int32_t k_file_scrollbar_width_small = 5, k_file_scrollbar_width = 10;
constexpr int32_t k_file_scroll_steps = 2;
constexpr int32_t k_thumb_radius = 2;
constexpr double k_large_factor = 1.3;

// Layout values a dialog is built with, by class: (index, value) pairs given
// to the dialog's own setter before its parts exist. A class without pairs
// keeps the toolkit's values.
struct layout_value {
  int32_t index, value;
};
struct layout_values {
  const layout_value *values;
  size_t count;
};
template <size_t N>
constexpr layout_values values_of(const layout_value (&values)[N]) {
  return {values, N};
}
constexpr layout_values k_keep = {nullptr, 0};

typedef void (*layout_setter)(void *target, int32_t index, int32_t value);
template <typename T, void (*set)(T *, int32_t, int32_t)>
void set_on(void *target, int32_t index, int32_t value) {
  set(static_cast<T *>(target), index, value);
}

struct layout_row {
  int32_t kind;
  layout_setter set;
  layout_values small, large;
};

constexpr layout_value k_color_large[] = {{1, 13}, {3, 13}, {5, 13}, {6, 13}, {7, 13}};
constexpr layout_value k_advcolor_small[] = {{1, 10}, {2, 20}, {9, 16}, {5, 16}};
constexpr layout_value k_advcolor_large[] = {{1, 10}, {2, 45}, {9, 26}, {5, 26}};
constexpr layout_value k_message_large[] = {{1, 20}, {3, 20}};  // icon and text top, gap to the text
constexpr layout_value k_save_small[] = {{2, 16}, {5, 16}, {12, 16}, {9, 20}};
constexpr layout_value k_save_large[] = {{2, 33}, {5, 45}, {12, 45}, {9, 45}};
constexpr layout_value k_open_small[] = {{2, 16}, {3, 5},   {5, 20},  {6, 5},  {7, 5},
                                         {10, 5}, {12, 16}, {13, 5}, {16, 16}};
constexpr layout_value k_open_large[] = {{2, 45},  {3, 13},  {5, 45},  {6, 13}, {7, 13},
                                         {10, 13}, {12, 45}, {13, 13}, {16, 45}};
constexpr layout_value k_input_small[] = {{5, 16}, {2, 16}, {3, 5}};
constexpr layout_value k_input_large[] = {{5, 45}, {2, 33}, {3, 13}};
constexpr layout_value k_my_paints_small[] = {{0, 5}, {1, 5}};
constexpr layout_value k_my_paints_large[] = {{0, 13}, {1, 13}};
constexpr layout_value k_new_small[] = {{2, 16}, {3, 5}, {6, 16}, {10, 16}, {11, 5}, {13, 20}};
constexpr layout_value k_new_large[] = {{2, 33}, {3, 13}, {5, 124}, {6, 45}, {10, 33}, {11, 13}, {13, 48}};
constexpr layout_value k_about_small[] = {{2, 35}, {5, 35}, {6, 35}, {10, 5}, {8, 5}, {3, 5}, {7, 5}, {9, 16}};
constexpr layout_value k_about_large[] = {{2, 130}, {5, 91},  {6, 91},  {10, 13},
                                          {8, 26},  {3, 26}, {7, 26}, {9, 33}};
constexpr layout_value k_upload_info_small[] = {{6, 16}, {9, 16}};
constexpr layout_value k_upload_info_large[] = {{6, 33}, {9, 45}};

const layout_row k_layout_rows[] = {
    {TSTYLE_COLORDIALOG_BEFORE, set_on<tcolordialog, tcolordialog_set_layout>, k_keep, values_of(k_color_large)},
    {TSTYLE_ADVCOLORDIALOG_BEFORE, set_on<tadvcolordialog, tadvcolordialog_set_layout>, values_of(k_advcolor_small),
     values_of(k_advcolor_large)},
    {TSTYLE_MESSAGEDIALOG_BEFORE, set_on<tmessagedialog, tmessagedialog_set_layout>, k_keep,
     values_of(k_message_large)},
    {TSTYLE_SAVEDIALOG_BEFORE, set_on<tsavedialog, tsavedialog_set_layout>, values_of(k_save_small),
     values_of(k_save_large)},
    {TSTYLE_OPENDIALOG_BEFORE, set_on<topendialog, topendialog_set_layout>, values_of(k_open_small),
     values_of(k_open_large)},
    {TSTYLE_INPUTDIALOG_BEFORE, set_on<tinputdialog, tinputdialog_set_layout>, values_of(k_input_small),
     values_of(k_input_large)},
    {MY_PAINTS_STYLE_BEFORE, set_on<my_paints_dialog, my_paints_dialog_set_layout>, values_of(k_my_paints_small),
     values_of(k_my_paints_large)},
    {NEW_DIALOG_STYLE_BEFORE, set_on<new_dialog, new_dialog_set_layout>, values_of(k_new_small),
     values_of(k_new_large)},
    {ABOUT_DIALOG_STYLE_BEFORE, set_on<about_dialog, about_dialog_set_layout>, values_of(k_about_small),
     values_of(k_about_large)},
    {UPLOAD_INFO_STYLE_BEFORE, set_on<upload_info_dialog, upload_info_dialog_set_layout>,
     values_of(k_upload_info_small), values_of(k_upload_info_large)},
};

// Complete dialogs in the dialog look, found from their own records.
typedef tdialog *(*dialog_getter)(void *target);
template <typename T, tdialog *(*get)(const T *)>
tdialog *dialog_of(void *target) {
  return get(static_cast<T *>(target));
}

struct look_row {
  int32_t kind;
  dialog_getter dialog;
  bool form_keeps_border;  // the colour dialog's swatches sit on a framed form
};

const look_row k_look_rows[] = {
    {TSTYLE_COLORDIALOG, dialog_of<tcolordialog, tcolordialog_get_dialog>, true},
    {TSTYLE_ADVCOLORDIALOG, dialog_of<tadvcolordialog, tadvcolordialog_get_dialog>, false},
    {TSTYLE_MESSAGEDIALOG, dialog_of<tmessagedialog, tmessagedialog_get_dialog>, false},
    {TSTYLE_SAVEDIALOG, dialog_of<tsavedialog, tsavedialog_get_dialog>, false},
    {TSTYLE_OPENDIALOG, dialog_of<topendialog, topendialog_get_dialog>, false},
    {TSTYLE_INPUTDIALOG, dialog_of<tinputdialog, tinputdialog_get_dialog>, false},
    {NEW_DIALOG_STYLE, dialog_of<new_dialog, new_dialog_get_dialog>, false},
    {UPLOAD_INFO_STYLE, dialog_of<upload_info_dialog, upload_info_dialog_get_dialog>, false},
};

void apply(tstyler *styler, void *target, int32_t kind, void *owner, intptr_t extra);

screen_class class_now();
void vertical_gradient(tbdrawer *drawer, uint32_t top, uint32_t bottom);
void style_button(tbutton *button);
void style_controlbar(tcontrolbar *bar);
void on_controlbar_layout(tcontrolbar *bar, int32_t position);
int32_t sized(int32_t value, screen_class c);
void style_titlebar(ttitlebar *tb);
void style_hint(thint *hint);
void style_menu(tmenu *menu, screen_class c);
void style_file_list(tfilelist *list, screen_class c);
void style_open_dialog(topendialog *dialog, screen_class c);
void list_look(tlistbox *list);
void scrollbar_look(tscrollbar *bar);
void round_thumb(tbdrawer *drawer, tcolor color);
void framed_gradient(tbdrawer *drawer, uint32_t top, uint32_t bottom);
bool set_layout(void *target, int32_t kind, screen_class c);
bool dialog_look(void *target, int32_t kind);
void panel_look(tdialog *dialog);
void form_look(tdialog *dialog, bool keep_border);

}  // namespace

paint_styler *paint_styler_create(app_context *app) {
  paint_styler *record = static_cast<paint_styler *>(std::calloc(1, sizeof(paint_styler)));
  if (!record) return nullptr;
  record->_styler = tstyler_new(apply);
  tstyler_set_user_data(record->_styler, record);
  tstyler_set_default(record->_styler);
  record->_app = app;
  return record;
}

void paint_styler_free(paint_styler *styler) {
  PORT_CHECK(styler != nullptr);
  // The set keeps the tstyler until its own tear-down; it must not point here.
  if (tstyler_get_default() == styler->_styler) tstyler_set_user_data(styler->_styler, nullptr);
  std::free(styler);
}

namespace {

// Kinds without a row here keep the toolkit's look.
void apply(tstyler *, void *target, int32_t kind, void *, intptr_t) {
  if (!target) return;
  screen_class c = class_now();
  switch (kind) {
    case TSTYLE_BUTTON:
      style_button(static_cast<tbutton *>(target));
      break;
    case TSTYLE_CONTROLBAR:
      style_controlbar(static_cast<tcontrolbar *>(target));
      break;
    case TSTYLE_MENU:
      style_menu(static_cast<tmenu *>(target), c);
      break;
    case TSTYLE_EDIT:
      if (c == CLASS_LARGE)
        tedit_set_padding(static_cast<tedit *>(target), k_edit_padding_large[0], k_edit_padding_large[1],
                          k_edit_padding_large[2]);
      break;
    case TSTYLE_TITLEBAR:
      style_titlebar(static_cast<ttitlebar *>(target));
      break;
    case TSTYLE_DIALOG_BEFORE:
      // The title bar does not exist yet: only the value it will be made with.
      if (c != CLASS_NORMAL)
        static_cast<tdialog *>(target)->_title_height = c == CLASS_SMALL ? k_title_height_small : k_title_height_large;
      break;
    case TSTYLE_HINT:
      style_hint(static_cast<thint *>(target));
      break;
    case TSTYLE_FILELIST:
      style_file_list(static_cast<tfilelist *>(target), c);
      break;
    case TSTYLE_OPENDIALOG:
      dialog_look(target, kind);
      style_open_dialog(static_cast<topendialog *>(target), c);
      break;
    default:
      if (!dialog_look(target, kind)) set_layout(target, kind, c);
      break;
  }
}

screen_class class_now() {
  if (app_common_is_qvga()) return CLASS_SMALL;
  return app_common_is_vga() ? CLASS_LARGE : CLASS_NORMAL;
}

// The ramp over the whole height (100 % long, from 0 %).
void vertical_gradient(tbdrawer *drawer, uint32_t top, uint32_t bottom) {
  tbdrawer_set_fill_gradient(drawer, 0, top, bottom, 100, 0);
}

// Light to dark at rest and focused; dark to light while pressed.
void style_button(tbutton *button) {
  vertical_gradient(tbutton_get_box_drawer(button), k_light, k_dark);
  vertical_gradient(tbutton_get_focused_box_drawer(button), k_light, k_dark);
  vertical_gradient(tbutton_get_pressed_box_drawer(button), k_dark, k_light);
}

// The bar has been laid out by its init: size it now and after every later
// layout of its own.
void style_controlbar(tcontrolbar *bar) {
  tcontrolbar_set_on_layout(bar, on_controlbar_layout);
  on_controlbar_layout(bar, tcontrolbar_get_position(bar));
}

// Runs right after the bar's own layout, which has just given the bar and its
// buttons the bar's values: every size here is taken from those, so layouts
// repeated any number of times give the same sizes.
void on_controlbar_layout(tcontrolbar *bar, int32_t position) {
  tbutton *left = tcontrolbar_get_left_button(bar), *right = tcontrolbar_get_right_button(bar);
  for (tbutton *button : {left, right})
    for (ttdrawer *drawer : {tbutton_get_tdrawer(button), tbutton_get_pressed_tdrawer(button),
                             tbutton_get_focused_tdrawer(button)})
      ttdrawer_set_alignment(drawer, 8);
  screen_class c = class_now();
  if (c == CLASS_NORMAL) return;
  tcontrol *control = &bar->_control, *left_control = &left->_control, *right_control = &right->_control;
  if (position == TCONTROLBAR_BOTTOM || position == TCONTROLBAR_TOP) {
    int32_t button_width = sized(tsurface_get_width(&left_control->_surface), c);
    tcontrol_set_height(control, sized(tsurface_get_height(&control->_surface), c));
    tcontrol_set_width(left_control, button_width);
    tcontrol_set_width(right_control, button_width);
  } else if (position == TCONTROLBAR_RIGHT || position == TCONTROLBAR_LEFT) {
    int32_t button_height = sized(tsurface_get_height(&left_control->_surface), c);
    tcontrol_set_width(control, sized(tsurface_get_width(&control->_surface), c));
    tcontrol_set_height(left_control, button_height);
    tcontrol_set_height(right_control, button_height);
  }
}

// Half on the small class (toward zero), 1.3 times on the large one
// (truncated).
int32_t sized(int32_t value, screen_class c) {
  if (c == CLASS_SMALL) return value / 2;
  if (c == CLASS_LARGE) return int32_t(double(value) * k_large_factor);
  return value;
}

// A see-through strip with a dark rounded tab behind white text.
void style_titlebar(ttitlebar *tb) {
  tcontrol *control = &tb->_control;
  tbdrawer *own = tcontrol_get_box_drawer(control);
  tbdrawer_set_no_border(own);
  tbdrawer_set_fill_color(own, k_magenta);
  tbdrawer_set_fill_solid(own);
  tsurface_set_color_key(&control->_surface, k_magenta);
  tbdrawer *background = ttitlebar_get_background_drawer(tb);
  tbdrawer_set_round_border(background, k_dark_grey, 1, 2);
  tbdrawer_set_fill_color(background, k_dark_grey);
  tbdrawer_set_fill_solid(background);
  ttdrawer_set_color(ttitlebar_get_text_drawer(tb), k_white);
}

void style_hint(thint *hint) {
  tbdrawer *drawer = tcontrol_get_box_drawer(&thint_get_label(hint)->_control);
  tbdrawer_set_border(drawer, k_black, 1);
  tbdrawer_set_fill_color(drawer, k_hint_fill);
  tbdrawer_set_fill_solid(drawer);
}

// Item height for the rows still to come; the list framed in the list look.
void style_menu(tmenu *menu, screen_class c) {
  tmenu_set_item_height(menu, k_menu_item_height[c]);
  list_look(tmenu_get_listbox(menu));
}

// The rows are listed later: the item height is the one they will take. The
// icon column widens with the rows on the large class.
void style_file_list(tfilelist *list, screen_class c) {
  if (c == CLASS_SMALL) tfilelist_set_item_height(list, k_file_item_height_small);
  if (c != CLASS_LARGE) return;
  tfilelist_set_item_height(list, k_file_item_height_large);
  tlistbox *box = &list->_listbox;
  tlistcolumn *icon = tlistbox_get_column(box, 1);
  if (!icon) return;
  tlistitems_set_column_width(icon, k_file_icon_width_large);
  // Setting the bar's width again lays the columns out with the new width.
  tlistbox_set_scrollbar_width(box, tlistbox_get_scrollbar_width(box));
}

// The dialog look is on; now its file list and, on the large class, the
// location field, whose left padding leaves room for the folder icon.
void style_open_dialog(topendialog *dialog, screen_class c) {
  tlistbox *list = &topendialog_get_filelist(dialog)->_listbox;
  tlistbox_set_scrollbar_width(list, c == CLASS_SMALL ? k_file_scrollbar_width_small : k_file_scrollbar_width);
  tlistbox_set_smooth_scroll(list, 1);
  tlistbox_set_scroll_steps(list, k_file_scroll_steps);
  tbdrawer *fill = tcontrol_get_box_drawer(&list->_control);
  tbdrawer_set_fill_color(fill, k_file_list_fill);
  tbdrawer_set_fill_solid(fill);
  framed_gradient(tlistbox_get_selection_drawer(list), k_dark, k_light);
  scrollbar_look(tlistbox_get_scrollbar(list));
  if (c == CLASS_LARGE)
    tedit_set_padding(tcombobox_get_edit(topendialog_get_location_combobox(dialog)), k_location_padding_large[0],
                      k_location_padding_large[1], k_location_padding_large[2]);
}

// Light to dark with a dark frame; the selection the other way round.
void list_look(tlistbox *list) {
  framed_gradient(tcontrol_get_box_drawer(&list->_control), k_light, k_dark);
  framed_gradient(tlistbox_get_selection_drawer(list), k_dark, k_light);
  scrollbar_look(tlistbox_get_scrollbar(list));
}

// A see-through track (magenta is keyed out) under a dark rounded thumb,
// lighter while dragged.
void scrollbar_look(tscrollbar *bar) {
  tcontrol *control = &bar->_control;
  tsurface_set_color_key(&control->_surface, k_magenta);
  tbdrawer *track = tcontrol_get_box_drawer(control);
  tbdrawer_set_no_border(track);
  tbdrawer_set_fill_color(track, k_magenta);
  tbdrawer_set_fill_solid(track);
  round_thumb(tscrollbar_get_thumb_drawer(bar), k_dark_grey);
  round_thumb(tscrollbar_get_pressed_thumb_drawer(bar), k_grey);
}

void round_thumb(tbdrawer *drawer, tcolor color) {
  tbdrawer_set_round_border(drawer, color, 1, k_thumb_radius);
  tbdrawer_set_fill_color(drawer, color);
  tbdrawer_set_fill_solid(drawer);
}

void framed_gradient(tbdrawer *drawer, uint32_t top, uint32_t bottom) {
  vertical_gradient(drawer, top, bottom);
  tbdrawer_set_border(drawer, k_dark_grey, 1);
}

// A dialog record's before-kind: its class's layout values. False when the
// kind has no layout row.
bool set_layout(void *target, int32_t kind, screen_class c) {
  for (const layout_row &row : k_layout_rows) {
    if (row.kind != kind) continue;
    const layout_values &values = c == CLASS_SMALL ? row.small : c == CLASS_LARGE ? row.large : k_keep;
    for (size_t i = 0; i < values.count; i++) row.set(target, values.values[i].index, values.values[i].value);
    return true;
  }
  return false;
}

// A dialog record's complete kind: the dialog look. False when the kind has
// no look row.
bool dialog_look(void *target, int32_t kind) {
  for (const look_row &row : k_look_rows) {
    if (row.kind != kind) continue;
    tdialog *dialog = row.dialog(target);
    panel_look(dialog);
    form_look(dialog, row.form_keeps_border);
    return true;
  }
  return false;
}

void panel_look(tdialog *dialog) {
  tbdrawer *panel = tcontrol_get_box_drawer(tdialog_get_panel(dialog));
  tbdrawer_set_border(panel, k_black, 1);
  tbdrawer_set_fill_color(panel, k_grey);
  tbdrawer_set_fill_solid(panel);
}

void form_look(tdialog *dialog, bool keep_border) {
  tbdrawer *form = tcontrol_get_box_drawer(&tdialog_get_form(dialog)->_control);
  if (!keep_border) tbdrawer_set_no_border(form);
  vertical_gradient(form, k_light, k_dark);
}

}  // namespace
