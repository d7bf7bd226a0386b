// toolbar: the floating strip of eighteen buttons through which the user
// picks a drawing tool and runs the editing commands (undo, redo, clear, line
// width, zoom bar, insert picture, resize canvas).
//
// A dock (dragged by its grip, resized by a hold on its frame, translucent
// and hiding itself while the user draws when the settings say so) holds a
// scrolling form with the buttons. Four buttons carry a family of tools and
// open a variant menu when held; every button shows a tooltip while held (the
// name at 100 ms, the description a second later). Holding a button that
// carries no family drags the whole bar.
//
// Owns the dock, the form, the buttons, the tooltip, the drag frame, the
// check bitmap and its timers; borrows the resource bitmaps. Every button's
// owner word is the app_context, whose _toolbar leads back here.
//
// Invariants:
// - a timer handle is 0 whenever that timer does not run;
// - exactly the button of the current tool (by its group) shows checked;
// - hold_guard is set only while the bar itself ends a press (a synthetic
//   pen-up): nothing the press would run runs then.
#pragma once

#include <cstdint>

#include "app_context.h"
#include "tbdrawer.h"
#include "tbitmap.h"
#include "trect.h"

struct tdock;
struct tform;
struct tbutton;
struct tcontrol;
struct thint;

constexpr int TOOLBAR_MAX_BUTTONS = 64;
constexpr int TOOLBAR_NAME_CHARS = 260;
constexpr int TOOLBAR_FILTER_COUNT = 5;
constexpr int TOOLBAR_FILTER_CHARS = 128;
constexpr int32_t TOOLBAR_TAP_TOLERANCE = 25;  // pixels a press may move and still click
constexpr uint32_t TOOLBAR_HOLD_MS = 200;      // variant menu and drag
constexpr uint32_t TOOLBAR_TOOLTIP_MS = 100;
constexpr uint32_t TOOLBAR_DESCRIPTION_MS = 1000;
constexpr uint32_t TOOLBAR_AUTO_HIDE_MS = 1000;

// Commands the bar runs besides the tools.
enum {
  TOOLBAR_UNDO = 1002,
  TOOLBAR_REDO = 1003,
  TOOLBAR_CLEAR = 1004,
  TOOLBAR_LINE_WIDTH = 1006,
  TOOLBAR_ZOOM = 1008,
  TOOLBAR_INSERT_PICTURE = 1009,
  TOOLBAR_RESIZE_CANVAS = 1010,
};

struct toolbar {
  tdock *dock;
  tform *form;
  tbutton *buttons[TOOLBAR_MAX_BUTTONS];
  int32_t button_count;
  int32_t per_line;  // rows or columns of the last layout; 0 forces the next one
  int32_t button_width, button_height;
  tbitmap *check_bitmap;  // owned, made when the options menu first needs it
  int32_t vertical;       // 1 in landscape: the bar stands upright, grip along the top
  tbutton *variant_button;
  uint32_t variant_timer;
  tbitmap *marker_bitmap, *marker_mask;
  tbdrawer_draw_fn dock_draw;  // the dock drawer's own routine, under the grip
  uint32_t auto_hide_timer;
  uint8_t auto_hide_skip;
  thint *tooltip;
  uint32_t tooltip_timer;
  tbutton *tooltip_button;
  uint8_t tooltip_stage;  // 0 name only, 1 name and description
  char16_t picked_name[TOOLBAR_NAME_CHARS];
  char16_t filters[TOOLBAR_FILTER_COUNT][TOOLBAR_FILTER_CHARS];
  int32_t filter_count;
  int32_t hold_guard;
  uint32_t drag_timer;
  tcontrol *drag_frame;
  app_context *app;
};

// Builds the bar in rect (screen coordinates, corners inclusive); a rect that
// lies off the screen or is smaller than one button is moved and grown into
// the screen. Null when memory is short (nothing is left then).
toolbar *toolbar_create(tcontrol *parent, const trect *rect, app_context *app);
// Stops every timer, frees the tooltip without a repaint, then the parts.
void toolbar_free(toolbar *tb);

// Translucency, layout, realisation and the current tool's button.
void toolbar_apply_settings(toolbar *tb);
// Runs a tool or command id as its button would.
void toolbar_select(toolbar *tb, int32_t id);
void toolbar_on_command(toolbar *tb, int32_t id);
void toolbar_show(toolbar *tb);
void toolbar_hide(toolbar *tb);
// Hides the bar while the user draws; it returns one to two seconds after
// the last call (at once when no timer can be had).
void toolbar_auto_hide(toolbar *tb);
// The rect the settings keep for the bar in landscape or portrait (corners
// inclusive; values from a hand-edited file are held within 32 bits).
trect toolbar_settings_rect(const app_context *app, int landscape);
// The dock's rect into the settings of the orientation now in force.
void toolbar_save_rect(toolbar *tb);

// The form child id of the button that carries a tool or command id.
int32_t toolbar_button_group(int32_t id);
// The button carrying id (by its group); null when none.
tbutton *toolbar_get_button(const toolbar *tb, int32_t id);
// The form's layout: rows (flat bar) or columns (upright bar) as many as fit
// the rect; the dock takes the length the buttons need.
void toolbar_layout(tform *form, const trect *rect);
// Orientation change (the dock's parent-resized hook).
void toolbar_on_parent_resized(tcontrol *dock, const trect *parent_rect);
