// tscreen: the frame buffer, the update lock and the application's hooks.
#include "tscreen.h"

#include <cstring>

#include "port_device.h"
#include "port_log.h"
#include "wins_window.h"

int tscreen_init(tscreen *screen, int32_t width, int32_t height) {
  PORT_CHECK(screen != nullptr);
  std::memset(static_cast<void *>(screen), 0, sizeof *screen);
  screen->_rect = {0, 0, width - 1, (height < 0 ? -height : height) - 1};
  screen->_surfaces.next = screen->_surfaces.prev = &screen->_surfaces;
  return tbitmap_init(&screen->_bitmap, width, height, port_device_get_screen_depth());
}

void tscreen_deinit(tscreen *screen) {
  PORT_CHECK(screen != nullptr);
  if (screen->_bitmap._info) tbitmap_deinit(&screen->_bitmap);
  std::memset(static_cast<void *>(screen), 0, sizeof *screen);
}

tscreen *tscreen_get() {
  wins_window_context *context = wins_window_get_context();
  return context ? context->_screen : nullptr;
}

tbitmap *tscreen_get_bitmap(tscreen *screen) {
  PORT_CHECK(screen != nullptr);
  return &screen->_bitmap;
}

void tscreen_get_size(tscreen *screen, int32_t *width, int32_t *height) {
  PORT_CHECK(screen != nullptr);
  int32_t w, h;
  port_device_get_screen_size(&w, &h);
  if (width) *width = w;
  if (height) *height = h;
}

int32_t tscreen_get_width(tscreen *screen) {
  int32_t width;
  tscreen_get_size(screen, &width, nullptr);
  return width;
}

int32_t tscreen_get_height(tscreen *screen) {
  int32_t height;
  tscreen_get_size(screen, nullptr, &height);
  return height;
}

void tscreen_set_paint_hook(tscreen *screen, tscreen_paint_hook hook) {
  PORT_CHECK(screen != nullptr);
  screen->_paint_hook = hook;
}

void tscreen_set_resize_hook(tscreen *screen, tscreen_resize_hook hook) {
  PORT_CHECK(screen != nullptr);
  screen->_resize_hook = hook;
}

void tscreen_set_key_hook(tscreen *screen, tscreen_key_hook hook) {
  PORT_CHECK(screen != nullptr);
  screen->_key_hook = hook;
}

void tscreen_set_pen_hook(tscreen *screen, tscreen_pen_hook hook) {
  PORT_CHECK(screen != nullptr);
  screen->_pen_hook = hook;
}

void tscreen_set_update_lock(tscreen *screen, uint32_t flag) {
  PORT_CHECK(screen != nullptr);
  screen->_update_lock = flag;
}

uint32_t tscreen_get_update_lock(tscreen *screen) {
  PORT_CHECK(screen != nullptr);
  return screen->_update_lock;
}

void tscreen_get_last_pen_pos(tscreen *screen, tpoint *point) {
  PORT_CHECK(screen != nullptr);
  if (point) *point = {screen->_last_pen_x, screen->_last_pen_y};
}

int tscreen_paint(tscreen *screen, const trect *rect) {
  PORT_CHECK(screen != nullptr);
  // A frame buffer that a resize could not make again is not painted into.
  if (screen->_update_lock || !screen->_bitmap._pixels) return 1;
  if (screen->_paint_hook) screen->_paint_hook(screen, rect ? rect : &screen->_rect);
  wins_window_flush_screen(rect);
  return 1;
}

int tscreen_dispatch_key(tscreen *screen, uint32_t code, uint32_t repeat, uint32_t modifiers) {
  PORT_CHECK(screen != nullptr);
  return screen->_key_hook ? screen->_key_hook(code, repeat, modifiers) : 0;
}

int tscreen_dispatch_pen(tscreen *screen, int type, int32_t x, int32_t y, uint32_t modifiers) {
  PORT_CHECK(screen != nullptr);
  screen->_last_pen_x = x;
  screen->_last_pen_y = y;
  return screen->_pen_hook ? screen->_pen_hook(type, x, y, modifiers) : 0;
}

int tscreen_resize(tscreen *screen, int32_t width, int32_t height) {
  PORT_CHECK(screen != nullptr);
  int top_down = screen->_bitmap._info ? tbitmap_is_top_down(&screen->_bitmap) : 1;
  int32_t rows = height < 0 ? -height : height;
  screen->_rect = {0, 0, width - 1, rows - 1};
  if (screen->_bitmap._info) tbitmap_deinit(&screen->_bitmap);
  return tbitmap_init(&screen->_bitmap, width, top_down ? -rows : rows, port_device_get_screen_depth());
}

void tscreen_notify_resize(tscreen *screen, const trect *rect) {
  PORT_CHECK(screen != nullptr);
  if (screen->_resize_hook) screen->_resize_hook(rect);
}
