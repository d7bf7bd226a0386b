// commandpanel: the slide-out panel of the document and program commands
// (New, Save, Save As, Send, My Paints, Upload, My Gallery, Help, Share,
// About, Quit). It lies along the bottom edge in portrait and the right edge
// in landscape; closed, only a thin strip of it stays on the screen, with the
// tab that slides it open and closed beside it.
//
// Owns the dock, the form in it, the tab, the eleven command buttons and the
// separator, the tab pictures it had to scale to the tab's size, the tooltip
// and its timer. Borrows the resource pictures and the application's state.
//
// Invariants:
// - a finished slide leaves the panel and the tab exactly at the rectangles
//   of commandpanel_compute_rects for the open state;
// - the tooltip timer's handle is 0 whenever the timer does not run.
//
// Geometry by screen class:
//
//   | class  | button w x h                     | gap | tab long x short | strip |
//   |--------|----------------------------------|-----|------------------|-------|
//   | small  | 53 x 44 portrait, 46 x 44 landsc.| 5   | 50 x 20          | 3     |
//   | large  | 101 x 114                        | 13  | 110 x 45         | 5     |
//   | normal | 78 x 88                          | 10  | 100 x 40         | 5     |
#pragma once

#include <cstdint>

#include "app_context.h"
#include "tbitmap.h"
#include "trect.h"

struct tbutton;
struct tcontrol;
struct tdock;
struct tform;
struct thint;
struct paint_send;
struct tseperator;

constexpr int COMMANDPANEL_BUTTONS = 11;
constexpr int COMMANDPANEL_TAB_PICTURES = 10;  // bitmap ids 15090-15099
constexpr int32_t COMMANDPANEL_LARGE_EXTENT = 400;
constexpr uint32_t COMMANDPANEL_SLIDE_WAIT_MS = 10;
constexpr int COMMANDPANEL_SLIDE_STEPS = 4;
constexpr uint32_t COMMANDPANEL_TOOLTIP_MS = 200;

// Command ids: each button's user data.
enum {
  COMMANDPANEL_NEW = 11,
  COMMANDPANEL_SAVE = 12,
  COMMANDPANEL_SAVE_AS = 13,
  COMMANDPANEL_MY_PAINTS = 14,
  COMMANDPANEL_SEND = 15,
  COMMANDPANEL_SHARE = 16,
  COMMANDPANEL_ABOUT = 18,
  COMMANDPANEL_QUIT = 19,
  COMMANDPANEL_HELP = 20,
  COMMANDPANEL_UPLOAD = 22,
  COMMANDPANEL_MY_GALLERY = 23,
};

struct commandpanel {
  tdock *_dock;
  tform *_form;
  tbutton *_tab;
  // Scaled copies of tab pictures whose size differs from the tab's (by id
  // - 15090), made once; null where the resource picture fits as it is.
  tbitmap *_tab_copies[COMMANDPANEL_TAB_PICTURES];
  tbutton *_buttons[COMMANDPANEL_BUTTONS];  // in creation order
  tseperator *_separator;
  uint8_t _open;
  uint8_t _covered;  // floating panels hidden under the open panel, one bit each
  int32_t _landscape;
  uint32_t _tooltip_timer;
  tbutton *_tooltip_button;
  thint *_tooltip;
  paint_send *_send_menu;  // the Send menu's object, made on first use
  app_context *_app;
};

// Builds the panel closed, placed by the screen's size (the rectangle is not
// used); null when memory is lacking.
commandpanel *commandpanel_new(tcontrol *parent, const trect *rect, app_context *app);
void commandpanel_free(commandpanel *cp);
// Focuses the first command, lists the tab and the dock on the screen and
// brings them to the front.
void commandpanel_realize(commandpanel *cp);
// The tab becomes the screen's modal surface, the dock the front surface.
void commandpanel_bring_to_front(commandpanel *cp);
void commandpanel_show(commandpanel *cp);
void commandpanel_hide(commandpanel *cp);
int commandpanel_is_visible(const commandpanel *cp);
// Slides the panel closed when it is open (a road that replaced the painting
// leaves the canvas in view).
void commandpanel_slide_closed(commandpanel *cp);

// The tab's click (user data 1): slides the panel open or closed in four
// steps, each shown on the display with a 10 ms wait after it.
void commandpanel_toggle(tbutton *tab, intptr_t user_data);

// Where the panel and its tab lie on a screen of this size, open or closed
// (corners inclusive).
void commandpanel_compute_rects(int32_t width, int32_t height, int open, trect *panel, trect *tab);
