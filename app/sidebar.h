// tsidebar: a slide-out container docked at one screen edge: a frame (a
// tdock) holding one child, and a toggle tab stuck to the frame's inner
// edge. The side follows from the rectangle given for the current
// orientation; a tap on the tab slides the frame in or out in four steps.
//
// Owns its dock and its tab; borrows the content (its owner frees it). The
// record is embedded at the start of whatever uses it.
// Invariant: while closed the frame lies just off the screen edge and the
// tab strip sits at the edge; open, the whole rectangle is on the screen.
//
//   side  frame F within the whole rectangle R      tab strip T
//   0     R less tab width on the right             right of F
//   1     R less tab height at the bottom           below F
//   2     R less tab width on the left              left of F
//   3     R less tab height at the top              above F
#pragma once

#include <cstdint>

#include "tbutton.h"
#include "tdock.h"

struct tsidebar;

typedef void (*tsidebar_layout_fn)(tsidebar *sb, const trect *rect);

enum { TSIDEBAR_LEFT = 0, TSIDEBAR_TOP = 1, TSIDEBAR_RIGHT = 2, TSIDEBAR_BOTTOM = 3 };
enum { TSIDEBAR_ALIGN_START = 0, TSIDEBAR_ALIGN_CENTRE = 1, TSIDEBAR_ALIGN_END = 2 };

constexpr int TSIDEBAR_SLIDE_STEPS = 4;
constexpr uint32_t TSIDEBAR_SLIDE_PAUSE_MS = 10;

struct tsidebar {
  tdock *_dock;
  tbutton *_tab;
  tcontrol *_content;
  trect _portrait_rect, _landscape_rect;  // the whole bar when open, inclusive
  int32_t _portrait_tab_width, _portrait_tab_height;
  int32_t _landscape_tab_width, _landscape_tab_height;
  int32_t _alignment;
  int32_t _side;
  int32_t _landscape;
  uint8_t _open;
  tsidebar_layout_fn _on_layout;
  void *_owner;
};

// 1, or 0 when the dock or the tab cannot be made (nothing is left then).
int tsidebar_init(tsidebar *sb, tcontrol *parent, const trect *portrait, const trect *landscape,
                  const tpoint *portrait_tab, const tpoint *landscape_tab, int32_t alignment, int open, void *owner);
void tsidebar_deinit(tsidebar *sb);

void tsidebar_set_content(tsidebar *sb, tcontrol *content);
void tsidebar_set_on_layout(tsidebar *sb, tsidebar_layout_fn fn);
tdock *tsidebar_get_dock(const tsidebar *sb);
tbutton *tsidebar_get_tab(const tsidebar *sb);
void *tsidebar_get_owner(const tsidebar *sb);
int tsidebar_is_open(const tsidebar *sb);
int tsidebar_is_landscape(const tsidebar *sb);

void tsidebar_realize(tsidebar *sb);
void tsidebar_show(tsidebar *sb);
void tsidebar_hide(tsidebar *sb);
// Slides the bar open or closed (the tab's click).
void tsidebar_toggle(tsidebar *sb);
void tsidebar_open(tsidebar *sb);
void tsidebar_close(tsidebar *sb);

// The frame and tab rectangles on a screen of this size in the given state,
// with the side they give (the slide's targets and what rotation applies).
void tsidebar_compute_rects(const tsidebar *sb, int32_t screen_width, int32_t screen_height, int open, trect *frame,
                            trect *tab, int32_t *side);
