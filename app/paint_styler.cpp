// paint_styler: the application's look, by style kind.
#include "paint_styler.h"

#include <cstdlib>
#include <initializer_list>

#include "app_common.h"
#include "port_log.h"
#include "tbdrawer.h"
#include "tbutton.h"
#include "tcontrol.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "tedit.h"
#include "tform.h"
#include "thint.h"
#include "tlabel.h"
#include "tmessagedialog.h"
#include "tstyler.h"
#include "ttdrawer.h"
#include "ttitlebar.h"

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

constexpr int32_t k_title_height_small = 15, k_title_height_large = 48;
constexpr int32_t k_edit_padding_large[3] = {3, 3, 5};  // left, right, top and bottom
constexpr int32_t k_message_layout_large = 20;          // icon and label top, gap to the label
constexpr double k_large_factor = 1.3;

enum screen_class { CLASS_SMALL, CLASS_NORMAL, CLASS_LARGE };

void apply(tstyler *styler, void *target, int32_t kind, void *owner, intptr_t extra);

screen_class class_now();
void vertical_gradient(tbdrawer *drawer, uint32_t top, uint32_t bottom);
void style_button(tbutton *button);
void style_controlbar(tcontrolbar *bar);
void on_controlbar_layout(tcontrolbar *bar, int32_t position);
int32_t sized(int32_t value, screen_class c);
void style_titlebar(ttitlebar *tb);
void style_hint(thint *hint);
void panel_look(tdialog *dialog);
void form_look(tdialog *dialog);

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

// Kinds of controls the program does not have yet (menus, file lists, the
// colour, open, save and input dialogs, the application's own dialogs) get
// their rows with them. The colour dialog's complete look is the panel look
// alone: its form keeps its border.
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
    case TSTYLE_MESSAGEDIALOG: {
      tdialog *dialog = tmessagedialog_get_dialog(static_cast<tmessagedialog *>(target));
      panel_look(dialog);
      form_look(dialog);
      break;
    }
    case TSTYLE_MESSAGEDIALOG_BEFORE:
      if (c == CLASS_LARGE)
        for (int32_t index : {1, 3})
          tmessagedialog_set_layout(static_cast<tmessagedialog *>(target), index, k_message_layout_large);
      break;
    case TSTYLE_HINT:
      style_hint(static_cast<thint *>(target));
      break;
    default:
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

void panel_look(tdialog *dialog) {
  tbdrawer *panel = tcontrol_get_box_drawer(tdialog_get_panel(dialog));
  tbdrawer_set_border(panel, k_black, 1);
  tbdrawer_set_fill_color(panel, k_grey);
  tbdrawer_set_fill_solid(panel);
}

void form_look(tdialog *dialog) {
  tbdrawer *form = tcontrol_get_box_drawer(&tdialog_get_form(dialog)->_control);
  tbdrawer_set_no_border(form);
  vertical_gradient(form, k_light, k_dark);
}

}  // namespace
