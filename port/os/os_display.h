// The display: one small interface over two backends.
//
// SDL2 is the real window of the program (mouse and touch become pen
// messages, keys and text input become key and char messages, the RGB565
// screen is kept in a mirror of which only flushed rectangles are updated and
// shown: through the window surface, or a streaming texture when a GPU is
// there). Headless keeps everything in the process: tests
// drive it with the os_input_* calls and read back what it shows.
// The display's size is the emulated device's screen; a change of it (the
// window resized, i.e. the device rotated) reaches the frame window as
// WM_SETTINGCHANGE with OS_SETTING_DISPLAY.
// Only the GUI thread calls these, except os_display_wake.
#pragma once

#include <cstdint>

#include "os_message.h"

struct tbitmap;
struct trect;

// The sides a display can have: a window smaller than the minimum is not
// given by the window systems, and a bigger one is taken at the maximum.
constexpr int32_t OS_DISPLAY_MIN_SIDE = 64;
constexpr int32_t OS_DISPLAY_MAX_SIDE = 8192;

struct os_display_backend {
  const char *name;
  // Opens the window of the given size; on failure a one-line reason.
  int (*open)(int32_t width, int32_t height, const char *title_utf8, char *error, int error_size);
  void (*close)();
  void (*get_size)(int32_t *width, int32_t *height);
  void (*set_size)(int32_t width, int32_t height);
  // Copies rect (inclusive, inside the bitmap) of the 16-bit screen and shows it.
  int (*present)(const tbitmap *screen, const trect *rect);
  // Shows again what was presented last; 0 when the display no longer holds
  // it, and the whole screen is to be presented instead.
  int (*expose)();
  void (*show)(int visible);
  void (*raise)();
  // Turns pending window-system events into messages.
  void (*poll)();
  // Blocks until an event, a wake or the timeout; null: the queue waits itself.
  void (*wait)(uint32_t timeout_ms);
  // Any thread: ends a wait.
  void (*wake)();
};

const os_display_backend *os_display_sdl_backend();
const os_display_backend *os_display_headless_backend();
// The window system's own box; returns when it is closed: 1, or 0 when it
// could not show (1 under SDL's drivers without a window system, where
// nothing can show).
int os_display_sdl_alert(const char *caption, const char *text);

// The backend the next open uses (SDL unless a test chose headless).
void os_display_select(const os_display_backend *backend);
int os_display_open(int32_t width, int32_t height, const char16_t *title, char *error, int error_size);
void os_display_close();
int os_display_is_open();
// The backend found its window system gone (the X server ended): the display
// counts as closed, nothing waits on it or draws to it again, and the frame
// hears WM_CLOSE as from a window close, so the program ends through its
// exit hook (the quit when there is no frame yet).
void os_display_lost();
// 1 from a loss until the next open.
int os_display_is_lost();
// Tells the user why the program cannot go on when it has no window to say
// it in (a start that is refused): the SDL backend's box, shown without an
// open display, or nothing with the headless backend chosen. Returns when
// the box is closed: 1, or 0 when it could not show and the caller is to
// say it another way. A test takes the box in its place with a hook (null:
// none), whose answer is returned; the old hook is returned.
typedef int (*os_display_alert_fn)(const char *caption, const char *text);
int os_display_alert(const char *caption, const char *text);
os_display_alert_fn os_display_set_alert_hook(os_display_alert_fn hook);
// The display size, each side at most OS_DISPLAY_MAX_SIDE; before open, the
// size an open would ask for (480x640).
void os_display_get_size(int32_t *width, int32_t *height);
void os_display_set_size(int32_t width, int32_t height);
int os_display_present(const tbitmap *screen, const trect *rect);
// 0: present the whole screen, the display has nothing to show again.
int os_display_expose();
void os_display_show(int visible);
void os_display_raise();
// Where input goes: keys, closing and settings to the frame, pen to the view.
void os_display_set_windows(os_hwnd frame, os_hwnd view);

// Used by the message getter.
void os_display_poll();
// 1 when the open display has a wait of its own (woken by os_display_wake).
int os_display_has_wait();
void os_display_wait(uint32_t timeout_ms);
void os_display_wake();

// Input as the backends report it; the headless backend's tests call these.
enum { OS_PEN_DOWN = 1, OS_PEN_UP = 2, OS_PEN_MOVE = 3 };
void os_input_pen(int type, int32_t x, int32_t y, int double_tap);
void os_input_key(uint32_t virtual_key, int down, int repeat);
void os_input_char(char16_t ch);
void os_input_text(const char *utf8);
void os_input_close();
void os_input_display_changed();
void os_input_activate(int active);
void os_input_expose();

// Headless test hooks.
// The device rotates (or an input panel changes the work area): new size,
// and the frame hears of it.
void os_headless_set_size(int32_t width, int32_t height);
// The window system goes away under the program.
void os_headless_lose();
// The RGB565 pixel the display shows at (x, y); 0 outside.
uint32_t os_headless_get_pixel(int32_t x, int32_t y);
int os_headless_get_present_count();
int os_headless_get_expose_count();
int os_headless_get_raise_count();
int os_headless_is_visible();
// The last presented rectangle and the pixels uploaded since open.
trect os_headless_get_last_rect();
uint64_t os_headless_get_uploaded_pixels();
