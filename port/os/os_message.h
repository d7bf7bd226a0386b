// Window messages, window records and timers: the stand-in for the handheld's
// window manager that the port is written against.
//
// One process-wide queue. Any thread may post; only the GUI thread gets,
// peeks, sends and dispatches. A window is a record (class name, title,
// procedure, parent, rect, visibility) named by a handle that is never reused,
// so a message posted to a window that has gone is dropped, not misdelivered.
// Timers are deadlines on the os clock kept here and turned into WM_TIMER
// messages by the getter on the GUI thread; no timer runs on another thread.
// Message numbers keep the values the port's tables use.
#pragma once

#include <cstdint>

typedef uint32_t os_hwnd;  // 0: no window
typedef intptr_t (*os_wndproc)(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam);
typedef void (*os_timerproc)(os_hwnd window, uint32_t message, uint32_t id, uint32_t time);

struct os_message {
  os_hwnd window;
  uint32_t message;
  uintptr_t wparam;
  intptr_t lparam;
  uint32_t time;  // the clock's milliseconds when the message was posted
};

struct os_window_rect {
  int32_t x, y, width, height;
};

enum : uint32_t {
  WM_NULL = 0x0000,
  WM_CREATE = 0x0001,
  WM_DESTROY = 0x0002,
  WM_MOVE = 0x0003,
  WM_SIZE = 0x0005,
  WM_ACTIVATE = 0x0006,
  WM_PAINT = 0x000F,
  WM_CLOSE = 0x0010,
  WM_QUIT = 0x0012,
  WM_ERASEBKGND = 0x0014,
  WM_SETTINGCHANGE = 0x001A,
  WM_KEYDOWN = 0x0100,
  WM_KEYUP = 0x0101,
  WM_CHAR = 0x0102,
  WM_COMMAND = 0x0111,
  WM_TIMER = 0x0113,
  WM_MOUSEMOVE = 0x0200,
  WM_LBUTTONDOWN = 0x0201,
  WM_LBUTTONUP = 0x0202,
  WM_LBUTTONDBLCLK = 0x0203,
  WM_USER = 0x0400,
  // The os layer's own: "come to the front", posted by a second start.
  OS_MSG_FOREGROUND = 0x8001,
};

// WM_ACTIVATE's low word.
enum : uint32_t { WA_INACTIVE = 0, WA_ACTIVE = 1 };

// WM_SETTINGCHANGE's word when the display size may have changed (input panel,
// camera window gone, rotation).
constexpr uintptr_t OS_SETTING_DISPLAY = 0x3002;

// Virtual key codes of WM_KEYDOWN / WM_KEYUP; letters and digits are their
// upper-case ASCII codes.
enum : uint32_t {
  VK_BACK = 0x08,
  VK_TAB = 0x09,
  VK_RETURN = 0x0D,
  VK_SHIFT = 0x10,
  VK_CONTROL = 0x11,
  VK_MENU = 0x12,
  VK_PAUSE = 0x13,
  VK_ESCAPE = 0x1B,
  VK_SPACE = 0x20,
  VK_PRIOR = 0x21,
  VK_NEXT = 0x22,
  VK_END = 0x23,
  VK_HOME = 0x24,
  VK_LEFT = 0x25,
  VK_UP = 0x26,
  VK_RIGHT = 0x27,
  VK_DOWN = 0x28,
  VK_INSERT = 0x2D,
  VK_DELETE = 0x2E,
  VK_F1 = 0x70,
};

constexpr uint64_t OS_WAIT_FOREVER = UINT64_MAX;

// The position word of pen messages: x in the low, y in the high 16 bits.
inline intptr_t os_make_point_word(int32_t x, int32_t y) {
  return intptr_t(uint32_t(uint16_t(x)) | uint32_t(uint16_t(y)) << 16);
}

// Windows. Creation sends WM_CREATE; destruction sends WM_DESTROY to the
// window and then to its children, and removes them all.
os_hwnd os_window_create(const char16_t *class_name, const char16_t *title, os_wndproc procedure,
                         os_hwnd parent, int32_t x, int32_t y, int32_t width, int32_t height);
int os_window_destroy(os_hwnd window);
int os_window_is_alive(os_hwnd window);
os_hwnd os_window_find(const char16_t *class_name, const char16_t *title);
// Copies at most n - 1 chars and a terminator; 0 for a dead window.
int os_window_get_title(os_hwnd window, char16_t *buffer, int n);
int os_window_get_class(os_hwnd window, char16_t *buffer, int n);
int os_window_get_rect(os_hwnd window, os_window_rect *rect);
os_hwnd os_window_get_parent(os_hwnd window);
// Moving a top-level window resizes the display's window with it.
int os_window_move(os_hwnd window, int32_t x, int32_t y, int32_t width, int32_t height);
int os_window_show(os_hwnd window, int visible);
int os_window_is_visible(os_hwnd window);
// Shows and raises the display's window; the window is told it is active.
int os_window_set_foreground(os_hwnd window);

// Messages.
int os_post_message(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam);
void os_post_quit_message(int code);
// Calls the window's procedure at once (GUI thread); 0 for a dead window.
intptr_t os_send_message(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam);
// Waits until a message is there or the clock reaches deadline_ms. Returns 1
// with a message, 0 with WM_QUIT (its code in wparam), -1 when the deadline
// passed. Posted messages come first, then a quit, then a due timer.
int os_get_message(os_message *message, uint64_t deadline_ms);
// The same without waiting: 1 when a message (or WM_QUIT) was taken.
int os_peek_message(os_message *message);
intptr_t os_dispatch_message(const os_message *message);
// 1 when a close of window or a quit waits in the queue (the display's
// events are taken in first); nothing is taken out. GUI thread.
int os_close_pending(os_hwnd window);
intptr_t os_def_window_proc(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// Key state as of the last key message taken from the queue.
int os_get_key_state(uint32_t virtual_key);

// Timers: a periodic deadline; the id is never 0. A late timer fires once and
// is due again an interval after it fired.
uint32_t os_set_timer(uint32_t interval_ms, os_timerproc procedure);
int os_kill_timer(uint32_t id);
// Milliseconds until the next timer is due (0 when one is due), -1 without timers.
int64_t os_next_timer_in();

// Wakes a getter that is waiting (a clock or the display changed).
void os_message_wake();
// Forgets every message, window, timer and key state (end of a run, tests).
void os_message_reset();
