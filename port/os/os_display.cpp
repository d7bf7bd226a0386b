// The display interface, the input translation shared by the backends, and
// the headless backend.
#include "os_display.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "port_log.h"
#include "tbitmap.h"

namespace {

constexpr int32_t k_default_width = 480;
constexpr int32_t k_default_height = 640;

const os_display_backend *g_selected = nullptr;
// Read by posting threads to wake the GUI thread; set only by the GUI thread.
std::atomic<const os_display_backend *> g_open{nullptr};
int32_t g_asked_width = k_default_width, g_asked_height = k_default_height;
std::atomic<os_hwnd> g_frame{0}, g_view{0};
std::atomic<int> g_lost{0};
os_display_alert_fn g_alert_hook = nullptr;

os_hwnd pen_target() {
  os_hwnd view = g_view.load();
  return view ? view : g_frame.load();
}

// The headless display: a mirror of what was presented, and counters.
struct headless_state {
  int32_t width = 0, height = 0;
  std::vector<uint16_t> shown;  // width x height, top row first
  int presents = 0, exposes = 0, raises = 0, visible = 0;
  trect last_rect{0, 0, -1, -1};
  uint64_t uploaded = 0;
};
headless_state g_headless;

int headless_open(int32_t width, int32_t height, const char *title, char *error, int error_size);
void headless_close();
void headless_get_size(int32_t *width, int32_t *height);
void headless_set_size(int32_t width, int32_t height);
int headless_present(const tbitmap *screen, const trect *rect);
int headless_expose();
void headless_show(int visible);
void headless_raise();
void headless_poll();

const os_display_backend k_headless = {
    "headless",        headless_open, headless_close, headless_get_size, headless_set_size, headless_present,
    headless_expose,   headless_show, headless_raise, headless_poll,     nullptr,           nullptr,
};

}  // namespace

const os_display_backend *os_display_headless_backend() { return &k_headless; }

void os_display_select(const os_display_backend *backend) { g_selected = backend; }

int os_display_open(int32_t width, int32_t height, const char16_t *title, char *error, int error_size) {
  const os_display_backend *backend = g_selected ? g_selected : os_display_sdl_backend();
  if (g_open.load()) os_display_close();
  char title_utf8[512] = "";
  if (title) port_str_wide_to_utf8(title, -1, title_utf8, int(sizeof title_utf8) - 1);
  g_asked_width = width;
  g_asked_height = height;
  g_lost.store(0);
  if (!backend->open(width, height, title_utf8, error, error_size)) return 0;
  g_open.store(backend);
  return 1;
}

void os_display_close() {
  const os_display_backend *backend = g_open.exchange(nullptr);
  if (backend) backend->close();
  g_frame.store(0);
  g_view.store(0);
}

int os_display_is_open() { return g_open.load() != nullptr; }

// The backend has already dropped what it held without a call to the
// window system; its close is not called again.
void os_display_lost() {
  if (!g_open.exchange(nullptr)) return;
  g_lost.store(1);
  os_hwnd frame = g_frame.load();
  if (frame && os_window_is_alive(frame))
    os_input_close();
  else
    os_post_quit_message(0);
}

int os_display_is_lost() { return g_lost.load(); }

int os_display_alert(const char *caption, const char *text) {
  if (g_alert_hook) return g_alert_hook(caption, text);
  if (!g_selected || g_selected == os_display_sdl_backend()) return os_display_sdl_alert(caption, text);
  return 1;
}

os_display_alert_fn os_display_set_alert_hook(os_display_alert_fn hook) {
  os_display_alert_fn old = g_alert_hook;
  g_alert_hook = hook;
  return old;
}

void os_display_get_size(int32_t *width, int32_t *height) {
  PORT_CHECK(width != nullptr && height != nullptr);
  const os_display_backend *backend = g_open.load();
  if (backend) {
    backend->get_size(width, height);
    *width = std::min(*width, OS_DISPLAY_MAX_SIDE);
    *height = std::min(*height, OS_DISPLAY_MAX_SIDE);
  } else {
    *width = g_asked_width;
    *height = g_asked_height;
  }
}

void os_display_set_size(int32_t width, int32_t height) {
  const os_display_backend *backend = g_open.load();
  if (backend && width > 0 && height > 0) backend->set_size(width, height);
}

int os_display_present(const tbitmap *screen, const trect *rect) {
  const os_display_backend *backend = g_open.load();
  if (!backend || !screen || !rect) return 0;
  if (tbitmap_get_bpp(screen) != 16) return 0;
  trect clipped = *rect;
  clipped.x1 = std::max(clipped.x1, 0);
  clipped.y1 = std::max(clipped.y1, 0);
  clipped.x2 = std::min(clipped.x2, tbitmap_get_width(screen) - 1);
  clipped.y2 = std::min(clipped.y2, tbitmap_get_height(screen) - 1);
  if (clipped.x1 > clipped.x2 || clipped.y1 > clipped.y2) return 1;
  return backend->present(screen, &clipped);
}

int os_display_expose() {
  const os_display_backend *backend = g_open.load();
  return backend ? backend->expose() : 1;
}

void os_display_show(int visible) {
  const os_display_backend *backend = g_open.load();
  if (backend) backend->show(visible);
}

void os_display_raise() {
  const os_display_backend *backend = g_open.load();
  if (backend) backend->raise();
}

void os_display_set_windows(os_hwnd frame, os_hwnd view) {
  g_frame.store(frame);
  g_view.store(view);
}

void os_display_poll() {
  const os_display_backend *backend = g_open.load();
  if (backend) backend->poll();
}

int os_display_has_wait() {
  const os_display_backend *backend = g_open.load();
  return backend && backend->wait;
}

void os_display_wait(uint32_t timeout_ms) {
  const os_display_backend *backend = g_open.load();
  if (backend && backend->wait) backend->wait(timeout_ms);
}

void os_display_wake() {
  const os_display_backend *backend = g_open.load();
  if (backend && backend->wake) backend->wake();
}

void os_input_pen(int type, int32_t x, int32_t y, int double_tap) {
  uint32_t message = type == OS_PEN_DOWN ? (double_tap ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN)
                     : type == OS_PEN_UP ? WM_LBUTTONUP
                                         : WM_MOUSEMOVE;
  os_post_message(pen_target(), message, 0, os_make_point_word(x, y));
}

void os_input_key(uint32_t virtual_key, int down, int repeat) {
  // Key data: repeat count in the low word; bit 30 "was down", bit 31 "going up".
  uintptr_t data = uint16_t(repeat > 0 ? repeat : 1);
  if (!down) data |= 0xC0000000u;
  os_post_message(g_frame.load(), down ? WM_KEYDOWN : WM_KEYUP, virtual_key, intptr_t(data));
}

void os_input_char(char16_t ch) { os_post_message(g_frame.load(), WM_CHAR, ch, 1); }

void os_input_text(const char *utf8) {
  if (!utf8) return;
  char16_t units[64];
  int count = port_str_utf8_to_wide(utf8, int(std::strlen(utf8)), units, 64);
  for (int i = 0; i < count; i++) os_input_char(units[i]);
}

void os_input_close() { os_post_message(g_frame.load(), WM_CLOSE, 0, 0); }

void os_input_display_changed() {
  os_post_message(g_frame.load(), WM_SETTINGCHANGE, OS_SETTING_DISPLAY, 0);
}

void os_input_activate(int active) {
  os_post_message(g_frame.load(), WM_ACTIVATE, active ? WA_ACTIVE : WA_INACTIVE, 0);
}

void os_input_expose() { os_post_message(pen_target(), WM_PAINT, 0, 0); }

void os_headless_set_size(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return;
  // The mirror keeps only what the display can show.
  headless_set_size(std::min(width, OS_DISPLAY_MAX_SIDE), std::min(height, OS_DISPLAY_MAX_SIDE));
  os_input_display_changed();
}

void os_headless_lose() {
  if (g_open.load() != &k_headless) return;
  headless_close();
  os_display_lost();
}

uint32_t os_headless_get_pixel(int32_t x, int32_t y) {
  if (x < 0 || y < 0 || x >= g_headless.width || y >= g_headless.height) return 0;
  return g_headless.shown[size_t(y) * size_t(g_headless.width) + size_t(x)];
}

int os_headless_get_present_count() { return g_headless.presents; }
int os_headless_get_expose_count() { return g_headless.exposes; }
int os_headless_get_raise_count() { return g_headless.raises; }
int os_headless_is_visible() { return g_headless.visible; }
trect os_headless_get_last_rect() { return g_headless.last_rect; }
uint64_t os_headless_get_uploaded_pixels() { return g_headless.uploaded; }

namespace {

int headless_open(int32_t width, int32_t height, const char *title, char *error, int error_size) {
  (void)title;
  if (width <= 0 || height <= 0) {
    if (error && error_size > 0) std::snprintf(error, size_t(error_size), "bad screen size %dx%d", width, height);
    return 0;
  }
  g_headless = headless_state();
  headless_set_size(width, height);
  g_headless.visible = 1;
  return 1;
}

void headless_close() { g_headless = headless_state(); }

void headless_get_size(int32_t *width, int32_t *height) {
  *width = g_headless.width;
  *height = g_headless.height;
}

void headless_set_size(int32_t width, int32_t height) {
  if (width == g_headless.width && height == g_headless.height) return;
  g_headless.width = width;
  g_headless.height = height;
  g_headless.shown.assign(size_t(width) * size_t(height), 0);
}

int headless_present(const tbitmap *screen, const trect *rect) {
  // The screen's 565 pixels are 16-bit words in memory as the mirror keeps
  // them, so each row is one copy.
  int32_t x2 = rect->x2 < g_headless.width ? rect->x2 : g_headless.width - 1;
  for (int32_t y = rect->y1; y <= rect->y2 && y < g_headless.height && x2 >= rect->x1; y++) {
    const uint8_t *row = tbitmap_get_row(screen, y);
    std::memcpy(&g_headless.shown[size_t(y) * size_t(g_headless.width) + size_t(rect->x1)], row + 2 * rect->x1,
                size_t(x2 - rect->x1 + 1) * 2);
  }
  g_headless.presents++;
  g_headless.last_rect = *rect;
  g_headless.uploaded += uint64_t(rect->x2 - rect->x1 + 1) * uint64_t(rect->y2 - rect->y1 + 1);
  return 1;
}

int headless_expose() {
  g_headless.exposes++;
  return 1;
}

void headless_show(int visible) { g_headless.visible = visible ? 1 : 0; }

// Coming to the front makes the window the active one.
void headless_raise() {
  g_headless.raises++;
  os_input_activate(1);
}

void headless_poll() {}

}  // namespace
