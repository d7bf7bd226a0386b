// tscreen: the root of the display. The whole interface is drawn into one
// off-screen frame buffer that the port copies to the window.
//
// For now the frame buffer is a plain 16-bit (RGB565) bitmap embedded first;
// the list of top-level surfaces, the modal and capture slots are kept but
// not yet used, so input goes straight to the application's hooks. The
// screen owns its frame buffer; it owns none of the surfaces. The update lock
// is a flag, not a counter: whoever raises it restores the value it found.
#pragma once

#include <cstdint>

#include "tbitmap.h"
#include "trect.h"

struct tscreen;
struct tsurface;

// The link pair every top-level surface carries; the screen holds the head.
struct tsurface_link {
  tsurface_link *next;
  tsurface_link *prev;
};

typedef void (*tscreen_paint_hook)(tscreen *screen, const trect *rect);
typedef void (*tscreen_resize_hook)(const trect *rect);
typedef int32_t (*tscreen_key_hook)(uint32_t code, uint32_t repeat, uint32_t modifiers);
typedef int32_t (*tscreen_pen_hook)(int type, int32_t x, int32_t y, uint32_t modifiers);

// Pen event types.
enum { TSCREEN_PEN_DOWN = 1, TSCREEN_PEN_UP = 2, TSCREEN_PEN_MOVE = 3 };

struct tscreen {
  tbitmap _bitmap;  // the frame buffer at the display depth
  trect _rect;      // {0, 0, width - 1, |height| - 1}
  tsurface_link _surfaces;
  tscreen_paint_hook _paint_hook;
  tscreen_resize_hook _resize_hook;
  tscreen_key_hook _key_hook;
  tscreen_pen_hook _pen_hook;
  int32_t _last_pen_x, _last_pen_y;
  uint32_t _update_lock;
  tsurface *_pen_capture;
  tsurface *_modal;
};

// A negative height makes the frame buffer top-down. 0 when it cannot be made.
int tscreen_init(tscreen *screen, int32_t width, int32_t height);
void tscreen_deinit(tscreen *screen);
// The screen of the platform context.
tscreen *tscreen_get();
tbitmap *tscreen_get_bitmap(tscreen *screen);
// The display size as the platform reports it now.
void tscreen_get_size(tscreen *screen, int32_t *width, int32_t *height);
int32_t tscreen_get_width(tscreen *screen);
int32_t tscreen_get_height(tscreen *screen);

void tscreen_set_paint_hook(tscreen *screen, tscreen_paint_hook hook);
void tscreen_set_resize_hook(tscreen *screen, tscreen_resize_hook hook);
void tscreen_set_key_hook(tscreen *screen, tscreen_key_hook hook);
void tscreen_set_pen_hook(tscreen *screen, tscreen_pen_hook hook);
void tscreen_set_update_lock(tscreen *screen, uint32_t flag);
uint32_t tscreen_get_update_lock(tscreen *screen);
void tscreen_get_last_pen_pos(tscreen *screen, tpoint *point);

// Paints rect (null: the whole screen) and copies it to the display; nothing
// while the update lock is set. Returns 1.
int tscreen_paint(tscreen *screen, const trect *rect);
// 1 when the event was taken, else the hook's answer (0 without one).
int tscreen_dispatch_key(tscreen *screen, uint32_t code, uint32_t repeat, uint32_t modifiers);
int tscreen_dispatch_pen(tscreen *screen, int type, int32_t x, int32_t y, uint32_t modifiers);
// The display size changed: a new frame buffer (its row order kept), then
// the notification with the new screen rect.
int tscreen_resize(tscreen *screen, int32_t width, int32_t height);
void tscreen_notify_resize(tscreen *screen, const trect *rect);
