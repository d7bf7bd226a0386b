// tscreen: the root of the toolkit's display.
//
// The whole user interface is composed into one frame buffer (the embedded
// canvas, first member, at the display depth) that the port copies to the
// window. The screen keeps the list of top-level surfaces (front = most
// recently inserted), the modal surface and the pen capture, hands pen and
// key events to them in a fixed order and falls back to the application's
// hooks. It owns the frame buffer; it owns none of the surfaces.
//
// Invariants:
// - a stroke whose pen-down the pen hook took is the hook's until its own
//   pen-up: every move and the pen-up go to the hook before any surface,
//   modal or capture sees them;
// - a surface is in the list at most once (inserting a listed surface moves it);
// - a paint composes and flushes only the area asked for, so the frame buffer
//   always holds, inside any flushed area, what was composed for it.
#pragma once

#include <cstdint>
#include <type_traits>

#include "tbitmap.h"
#include "tcanvas.h"
#include "trect.h"
#include "tsurface.h"

struct tscreen;

typedef void (*tscreen_paint_hook)(tscreen *screen, const trect *rect);
typedef void (*tscreen_resize_hook)(const trect *rect);
typedef int32_t (*tscreen_key_hook)(uint32_t code, uint32_t repeat, uint32_t modifiers);
typedef int32_t (*tscreen_pen_hook)(int type, int32_t x, int32_t y, uint32_t modifiers);

// Pen event types.
enum { TSCREEN_PEN_DOWN = 1, TSCREEN_PEN_UP = 2, TSCREEN_PEN_MOVE = 3 };

struct tscreen {
  tcanvas _canvas;
  trect _rect;
  tsurface_link _surfaces;
  tscreen_paint_hook _paint_hook;
  tscreen_resize_hook _resize_hook;
  tscreen_key_hook _key_hook;
  tscreen_pen_hook _pen_hook;
  int32_t _last_pen_x, _last_pen_y;
  uint32_t _update_lock;
  tsurface *_capture;
  tsurface *_modal;
  uint32_t _popups;  // pop-ups shown so far (dialogs and menus)
  uint32_t _capture_sets;  // times the capture was set, so a dispatch sees it taken again
  uint8_t _hook_holds_pen;  // the pen hook took the pen-down of the stroke under way
};

static_assert(std::is_standard_layout_v<tscreen>, "the screen is its own canvas");

int tscreen_init(tscreen *screen, int32_t width, int32_t height);
void tscreen_deinit(tscreen *screen);
tscreen *tscreen_get();

tcanvas *tscreen_get_canvas(tscreen *screen);
tbitmap *tscreen_get_bitmap(tscreen *screen);
void tscreen_get_size(const tscreen *screen, int32_t *width, int32_t *height);
int32_t tscreen_get_width(const tscreen *screen);
int32_t tscreen_get_height(const tscreen *screen);
const trect *tscreen_get_rect(const tscreen *screen);

int tscreen_insert_surface(tscreen *screen, tsurface *surface);
int tscreen_append_surface(tscreen *screen, tsurface *surface);
int tscreen_remove_surface(tscreen *screen, tsurface *surface);
int tscreen_bring_to_front(tscreen *screen, tsurface *surface);
int tscreen_send_to_back(tscreen *screen, tsurface *surface);

int tscreen_paint(tscreen *screen, const trect *rect);
int tscreen_dispatch_key(tscreen *screen, uint32_t code, uint32_t repeat, uint32_t modifiers);
int tscreen_dispatch_pen(tscreen *screen, int type, int32_t x, int32_t y, uint32_t modifiers);

void tscreen_set_paint_hook(tscreen *screen, tscreen_paint_hook hook);
void tscreen_set_resize_hook(tscreen *screen, tscreen_resize_hook hook);
void tscreen_set_key_hook(tscreen *screen, tscreen_key_hook hook);
void tscreen_set_pen_hook(tscreen *screen, tscreen_pen_hook hook);

int tscreen_resize(tscreen *screen, int32_t width, int32_t height);
void tscreen_notify_resize(tscreen *screen, const trect *rect);

// A pen-up ends the capture after the capture surface has handled it,
// unless that surface took the capture again meanwhile (a tool that keeps
// the pen between its gestures).
// The lock is a flag: a raiser restores the value it found.
void tscreen_set_update_lock(tscreen *screen, uint32_t flag);
uint32_t tscreen_get_update_lock(const tscreen *screen);
void tscreen_set_pen_capture(tscreen *screen, tsurface *surface);
tsurface *tscreen_get_pen_capture(const tscreen *screen);
void tscreen_set_modal(tscreen *screen, tsurface *surface);
tsurface *tscreen_get_modal(const tscreen *screen);
tpoint *tscreen_get_last_pen_pos(const tscreen *screen, tpoint *point);

// A dialog or a menu that shows (not a hint, not a preview) is counted and
// stamped with the count. Something that waits to act on what was in front
// (a key press that clicks after its pressed look) keeps the count it saw and
// asks later whether a pop-up shown since is still listed.
void tscreen_note_popup(tscreen *screen, tsurface *surface);
uint32_t tscreen_get_popup_count(const tscreen *screen);
int tscreen_has_popup_since(const tscreen *screen, uint32_t count);

// Composes the surfaces in front of `below` (a top-level surface; null: every
// listed surface) and then the modal one into `area` of the frame buffer. A
// direct surface update uses it to keep what lies above it on top.
void tscreen_compose_above(tscreen *screen, const tsurface *below, const trect *area);
