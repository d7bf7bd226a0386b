// Window messages, window records and timers.
#include "os_message.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "os_clock.h"
#include "os_display.h"
#include "port_log.h"

namespace {

constexpr uint32_t k_min_timer_interval = 10;

struct window_record {
  std::u16string class_name;
  std::u16string title;
  os_wndproc procedure;
  os_hwnd parent;
  os_window_rect rect;
  int visible;
};

struct timer_record {
  uint32_t id;
  uint32_t interval;
  uint64_t due;
  os_timerproc procedure;
};

// Everything below is guarded by g_mutex; procedures are always called
// with it released, since they post, create and destroy in turn.
std::mutex g_mutex;
std::condition_variable g_changed;
uint64_t g_generation = 0;  // bumped by every post and wake
std::deque<os_message> g_queue;
int g_quit_pending = 0;
int g_quit_code = 0;
std::map<os_hwnd, window_record> g_windows;
os_hwnd g_next_window = 1;
std::vector<timer_record> g_timers;
uint32_t g_next_timer = 1;
uint8_t g_key_down[256];

uint32_t now32() { return uint32_t(os_clock_now_ms()); }
int take_ready(os_message *message);
void note_keys(const os_message *message);
std::u16string text_of(const char16_t *text);
int copy_text(const std::u16string &text, char16_t *buffer, int n);
os_wndproc procedure_of(os_hwnd window);

}  // namespace

os_hwnd os_window_create(const char16_t *class_name, const char16_t *title, os_wndproc procedure,
                         os_hwnd parent, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!procedure) return 0;
  os_hwnd window;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (parent && !g_windows.count(parent)) return 0;
    window = g_next_window++;
    if (!g_next_window) g_next_window = 1;
    g_windows[window] = {text_of(class_name), text_of(title), procedure, parent, {x, y, width, height}, 1};
  }
  if (procedure(window, WM_CREATE, 0, 0) == -1) {
    os_window_destroy(window);
    return 0;
  }
  return window;
}

int os_window_destroy(os_hwnd window) {
  os_wndproc procedure = procedure_of(window);
  if (!procedure) return 0;
  procedure(window, WM_DESTROY, 0, 0);
  std::vector<os_hwnd> children;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (auto &entry : g_windows)
      if (entry.second.parent == window) children.push_back(entry.first);
  }
  for (os_hwnd child : children) os_window_destroy(child);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_windows.erase(window);
  return 1;
}

int os_window_is_alive(os_hwnd window) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_windows.count(window) ? 1 : 0;
}

os_hwnd os_window_find(const char16_t *class_name, const char16_t *title) {
  std::u16string wanted_class = text_of(class_name), wanted_title = text_of(title);
  std::lock_guard<std::mutex> lock(g_mutex);
  for (auto &entry : g_windows)
    if (entry.second.class_name == wanted_class && (!title || entry.second.title == wanted_title))
      return entry.first;
  return 0;
}

int os_window_get_title(os_hwnd window, char16_t *buffer, int n) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_windows.find(window);
  return it == g_windows.end() ? 0 : copy_text(it->second.title, buffer, n);
}

int os_window_get_class(os_hwnd window, char16_t *buffer, int n) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_windows.find(window);
  return it == g_windows.end() ? 0 : copy_text(it->second.class_name, buffer, n);
}

int os_window_get_rect(os_hwnd window, os_window_rect *rect) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_windows.find(window);
  if (it == g_windows.end() || !rect) return 0;
  *rect = it->second.rect;
  return 1;
}

os_hwnd os_window_get_parent(os_hwnd window) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_windows.find(window);
  return it == g_windows.end() ? 0 : it->second.parent;
}

int os_window_move(os_hwnd window, int32_t x, int32_t y, int32_t width, int32_t height) {
  os_hwnd parent;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_windows.find(window);
    if (it == g_windows.end()) return 0;
    it->second.rect = {x, y, width, height};
    parent = it->second.parent;
  }
  if (!parent && os_display_is_open()) os_display_set_size(width, height);
  return 1;
}

int os_window_show(os_hwnd window, int visible) {
  os_hwnd parent;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_windows.find(window);
    if (it == g_windows.end()) return 0;
    it->second.visible = visible ? 1 : 0;
    parent = it->second.parent;
  }
  if (!parent && os_display_is_open()) os_display_show(visible);
  return 1;
}

int os_window_is_visible(os_hwnd window) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_windows.find(window);
  return it != g_windows.end() && it->second.visible;
}

int os_window_set_foreground(os_hwnd window) {
  if (!os_window_is_alive(window)) return 0;
  os_window_show(window, 1);
  if (os_display_is_open()) os_display_raise();
  return 1;
}

int os_post_message(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_queue.push_back({window, message, wparam, lparam, now32()});
    g_generation++;
  }
  g_changed.notify_all();
  os_display_wake();
  return 1;
}

void os_post_quit_message(int code) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_quit_pending = 1;
    g_quit_code = code;
    g_generation++;
  }
  g_changed.notify_all();
  os_display_wake();
}

intptr_t os_send_message(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  os_wndproc procedure = procedure_of(window);
  return procedure ? procedure(window, message, wparam, lparam) : 0;
}

int os_get_message(os_message *message, uint64_t deadline_ms) {
  PORT_CHECK(message != nullptr);
  for (;;) {
    os_display_poll();
    uint64_t wait_ms;
    {
      std::unique_lock<std::mutex> lock(g_mutex);
      int taken = take_ready(message);
      if (taken >= 0) {
        lock.unlock();
        note_keys(message);
        return taken;
      }
      uint64_t now = os_clock_now_ms();
      if (now >= deadline_ms) return -1;
      uint64_t until = deadline_ms;
      for (const timer_record &t : g_timers) until = std::min(until, t.due);
      wait_ms = until > now ? until - now : 0;
      // A driven clock moves only when a test advances it (which wakes us);
      // the cap keeps a display without wake-ups polling its events.
      wait_ms = std::min<uint64_t>(wait_ms, 1000);
      if (!os_display_has_wait()) {
        uint64_t generation = g_generation;
        g_changed.wait_for(lock, std::chrono::milliseconds(wait_ms),
                           [&] { return g_generation != generation; });
        continue;
      }
    }
    os_display_wait(uint32_t(wait_ms));
  }
}

int os_peek_message(os_message *message) {
  PORT_CHECK(message != nullptr);
  os_display_poll();
  int taken;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    taken = take_ready(message);
  }
  if (taken < 0) return 0;
  note_keys(message);
  return 1;
}

int os_close_pending(os_hwnd window) {
  os_display_poll();
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_quit_pending) return 1;
  for (const os_message &m : g_queue)
    if (m.message == WM_CLOSE && m.window == window) return 1;
  return 0;
}

intptr_t os_dispatch_message(const os_message *message) {
  if (!message) return 0;
  if (message->message == WM_TIMER && message->lparam) {
    // Only a timer that still exists is called: one killed after its
    // message was taken must not fire.
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      auto it = std::find_if(g_timers.begin(), g_timers.end(),
                             [&](const timer_record &t) { return t.id == message->wparam; });
      if (it == g_timers.end()) return 0;
    }
    reinterpret_cast<os_timerproc>(message->lparam)(message->window, WM_TIMER, uint32_t(message->wparam),
                                                    message->time);
    return 0;
  }
  return os_send_message(message->window, message->message, message->wparam, message->lparam);
}

intptr_t os_def_window_proc(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  (void)wparam;
  (void)lparam;
  switch (message) {
    case WM_CLOSE:
      os_window_destroy(window);
      return 0;
    case OS_MSG_FOREGROUND:
      os_window_set_foreground(window);
      return 0;
    default:
      return 0;
  }
}

int os_get_key_state(uint32_t virtual_key) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return virtual_key < 256 ? g_key_down[virtual_key] : 0;
}

uint32_t os_set_timer(uint32_t interval_ms, os_timerproc procedure) {
  if (!procedure) return 0;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    uint32_t id = g_next_timer++;
    if (!g_next_timer) g_next_timer = 1;
    // As the window system does, a timer never fires more often than every 10 ms.
    interval_ms = std::max<uint32_t>(interval_ms, k_min_timer_interval);
    g_timers.push_back({id, interval_ms, os_clock_now_ms() + interval_ms, procedure});
    g_generation++;
    return id;
  }
}

int os_kill_timer(uint32_t id) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = std::find_if(g_timers.begin(), g_timers.end(), [&](const timer_record &t) { return t.id == id; });
  if (it == g_timers.end()) return 0;
  g_timers.erase(it);
  return 1;
}

int64_t os_next_timer_in() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_timers.empty()) return -1;
  uint64_t now = os_clock_now_ms(), due = UINT64_MAX;
  for (const timer_record &t : g_timers) due = std::min(due, t.due);
  return due > now ? int64_t(due - now) : 0;
}

void os_message_wake() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_generation++;
  }
  g_changed.notify_all();
  os_display_wake();
}

void os_message_reset() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_queue.clear();
  g_quit_pending = 0;
  g_quit_code = 0;
  g_windows.clear();
  g_timers.clear();
  std::fill(std::begin(g_key_down), std::end(g_key_down), uint8_t(0));
}

namespace {

// With g_mutex held: a posted message, else the quit, else the timer most
// overdue. Returns 1, 0 (quit) or -1 (nothing ready).
int take_ready(os_message *message) {
  if (!g_queue.empty()) {
    *message = g_queue.front();
    g_queue.pop_front();
    return message->message == WM_QUIT ? 0 : 1;
  }
  if (g_quit_pending) {
    g_quit_pending = 0;
    *message = {0, WM_QUIT, uintptr_t(intptr_t(g_quit_code)), 0, now32()};
    return 0;
  }
  uint64_t now = os_clock_now_ms();
  timer_record *due = nullptr;
  for (timer_record &t : g_timers)
    if (t.due <= now && (!due || t.due < due->due)) due = &t;
  if (!due) return -1;
  due->due = now + due->interval;
  *message = {0, WM_TIMER, due->id, reinterpret_cast<intptr_t>(due->procedure), uint32_t(now)};
  return 1;
}

// The key state follows the key messages as they are taken, so a handler
// sees the modifiers as they were when its key was pressed.
void note_keys(const os_message *message) {
  if (message->message != WM_KEYDOWN && message->message != WM_KEYUP) return;
  if (message->wparam >= 256) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  g_key_down[message->wparam] = message->message == WM_KEYDOWN;
}

std::u16string text_of(const char16_t *text) { return text ? std::u16string(text) : std::u16string(); }

int copy_text(const std::u16string &text, char16_t *buffer, int n) {
  if (!buffer || n <= 0) return 0;
  int count = std::min(int(text.size()), n - 1);
  std::copy(text.begin(), text.begin() + count, buffer);
  buffer[count] = 0;
  return count;
}

os_wndproc procedure_of(os_hwnd window) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_windows.find(window);
  return it == g_windows.end() ? nullptr : it->second.procedure;
}

}  // namespace
