// scalebar: the zoom bar: a small floating strip with the zoom percentage
// and three buttons (zoom in, zoom out, a menu of fixed zooms). Upright at
// the right edge in portrait, across the top in landscape.
//
// Owns its label, its three buttons (top-level controls placed by the
// layout, not children of a bar control) and the button pictures scaled to
// the buttons; borrows the app_context, which holds the bar while it exists.
//
//   class  margin  label   button  label gap  button gap
//   small  3       35x15   25      5          5
//   large  6       65x32   60      13         13
//   other  5       50x25   45      10         10
#pragma once

#include <cstdint>

#include "panel_picture.h"
#include "tbutton.h"
#include "tlabel.h"

struct app_context;

enum {
  SCALEBAR_ZOOM_IN = 1,
  SCALEBAR_ZOOM_OUT = 2,
  SCALEBAR_MENU = 3,
  SCALEBAR_WHOLE_CANVAS = 4,
  SCALEBAR_CANVAS_WIDTH = 5,
  SCALEBAR_ZOOM_25 = 6,
  SCALEBAR_ZOOM_50 = 7,
  SCALEBAR_ZOOM_100 = 8,
  SCALEBAR_ZOOM_200 = 9,
  SCALEBAR_ZOOM_400 = 10,
  SCALEBAR_HIDE = 11,
};

constexpr int SCALEBAR_PICTURES = 7;  // 15077-15083
constexpr double SCALEBAR_STEP = 1.1;

struct scalebar {
  trect _rect;  // screen coordinates, inclusive
  int32_t _margin;
  int32_t _label_width, _label_height;
  int32_t _button_size;
  int32_t _label_gap, _button_gap;
  tlabel *_label;
  tbutton *_zoom_in, *_zoom_out, *_menu;
  int32_t _row;  // 1 across (landscape), 0 upright
  app_context *_app;
  panel_picture _pictures[SCALEBAR_PICTURES];
};

// The parent and rect are not used: the layout places the bar. Null when
// memory is lacking.
scalebar *scalebar_new(tcontrol *parent, const trect *rect, int32_t percent, app_context *app);
void scalebar_free(scalebar *sb);
// Lays out, realises and paints the bar.
void scalebar_show(scalebar *sb);
// Places the bar for the screen as it is now (also after a rotation) and
// repaints where it was and where it is.
void scalebar_layout(scalebar *sb);
void scalebar_set_percent(scalebar *sb, int32_t percent);
// Zooms the painting; centre 1 centres the canvas on the screen, 0 keeps the
// canvas centre where it was (centring it when it would leave the screen).
void scalebar_zoom_to(scalebar *sb, double zoom, int centre);
// A button of the bar or an item of its menu by id (the enum above).
void scalebar_on_click(tbutton *button, intptr_t user_data);
void scalebar_run(scalebar *sb, int32_t id);
