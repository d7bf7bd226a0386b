// port_device: display, time, randomness, camera stand-in, opener, identity.
#include "port_device.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "os_clock.h"
#include "os_display.h"
#include "os_paths.h"
#include "os_shell.h"
#include "port_fs.h"
#include "port_log.h"
#include "port_utf8.h"
#include "win_ao.h"
#include "wins_timer.h"
#include "wins_window.h"

namespace {

constexpr int k_small_dpi = 96;
constexpr int k_large_dpi = 192;
constexpr int32_t k_large_side = 480;
constexpr uint32_t k_display_restore_ms = 500;
constexpr int k_serial_min_draw = 0xFFFFFF;

struct launch {
  win_ao *ao;  // null when no one waits for the end, or after the tear-down
  port_device_launch_fn on_end;
  void *user_data;
  int result;
};

std::mutex g_random_mutex;
uint32_t g_random_state = 1;
uint32_t g_restore_timer = 0;

std::mutex &launch_mutex();
std::vector<std::shared_ptr<launch>> &launches();
void forget_launch_locked(const launch *ended);
void run_launch(std::shared_ptr<launch> started, os_launcher_fn launcher, std::vector<std::string> argv);
void on_launch_end(win_ao *ao, void *user_data);
int next_random_locked();
void restore_display_tick(uint32_t id, void *user_data);
int read_serial(const std::string &path, char *digits);
void make_serial(char *digits);
void write_serial(const std::string &path, const char *digits);

}  // namespace

int port_device_get_screen_size(int32_t *width, int32_t *height) {
  PORT_CHECK(width != nullptr && height != nullptr);
  os_display_get_size(width, height);
  return 1;
}

int port_device_get_screen_depth() { return 16; }

int port_device_get_dpi() {
  int32_t width, height;
  os_display_get_size(&width, &height);
  return width >= k_large_side && height >= k_large_side ? k_large_dpi : k_small_dpi;
}

uint32_t port_device_get_ticks() { return uint32_t(os_clock_now_ms()); }

int64_t port_device_get_time(int64_t *out) {
  timespec now;
  if (clock_gettime(CLOCK_REALTIME, &now) != 0) return out ? *out : 0;
  if (out) *out = int64_t(now.tv_sec);
  return int64_t(now.tv_sec);
}

int port_device_random() {
  std::lock_guard<std::mutex> lock(g_random_mutex);
  g_random_state = uint32_t(next_random_locked()) + uint32_t(port_device_get_time(nullptr));
  return next_random_locked();
}

int32_t port_device_muldiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  int64_t result = int64_t(a) * int64_t(b) / int64_t(c);
  if (result > INT32_MAX || result < INT32_MIN) return -1;
  return int32_t(result);
}

int32_t port_device_pixels_to_points(int32_t pixels) {
  return pixels * 72 / port_device_get_dpi() - pixels / 10;
}

int port_device_capture_photo(char16_t *path) {
  PORT_CHECK(path != nullptr);
  int result = 0;
  const char *image = std::getenv("BRIVOLA_CAMERA_IMAGE");
  struct stat st;
  if (image && *image && stat(image, &st) == 0 && S_ISREG(st.st_mode)) {
    std::string absolute = image;
    if (absolute[0] != '/') {
      char *real = realpath(image, nullptr);
      if (real) absolute = real;
      std::free(real);
    }
    std::u16string wide = port_fs_wide_path(absolute);
    result = wide.size() < size_t(PORT_DEVICE_PATH_CHARS);
    if (result) std::memcpy(path, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
  }
  if (!result) path[0] = 0;
  // The screen takes the display size again once the camera is gone; one
  // restore at a time, and at once when no timer can be had.
  if (g_restore_timer) wins_timer_stop(g_restore_timer);
  g_restore_timer = wins_timer_start(k_display_restore_ms, 0, restore_display_tick, nullptr);
  if (!g_restore_timer) wins_window_post_to_frame(WM_SETTINGCHANGE, OS_SETTING_DISPLAY, 0);
  return result;
}

int port_device_launch(const std::vector<std::string> &argv, port_device_launch_fn on_end, void *user_data) {
  if (argv.empty()) return 0;
  auto started = std::make_shared<launch>(launch{nullptr, on_end, user_data, 0});
  if (on_end) {
    started->ao = win_ao_new(0);
    win_ao_set_run(started->ao, on_launch_end);
    win_ao_set_user_data(started->ao, started.get());
  }
  std::lock_guard<std::mutex> lock(launch_mutex());
  try {
    // The launcher in force now: a test that puts the real one back before
    // the thread runs still has its command recorded, not started.
    std::thread(run_launch, started, os_shell_get_launcher(), argv).detach();
  } catch (const std::system_error &) {
    if (started->ao) win_ao_free(started->ao);
    return 0;
  }
  launches().push_back(started);
  return 1;
}

int port_device_get_launch_count() {
  std::lock_guard<std::mutex> lock(launch_mutex());
  return int(launches().size());
}

void port_device_drop_launches() {
  std::lock_guard<std::mutex> lock(launch_mutex());
  for (const std::shared_ptr<launch> &running : launches())
    if (running->ao) {
      win_ao_free(running->ao);
      running->ao = nullptr;
    }
}

int port_device_open_file(const char16_t *path) {
  PORT_CHECK(path != nullptr);
  return port_device_launch(os_shell_open_command(port_fs_native_path(path)), nullptr, nullptr);
}

int port_device_open_url(const char16_t *url, port_device_launch_fn on_end, void *user_data) {
  PORT_CHECK(url != nullptr);
  return port_device_launch(os_shell_open_command(port_utf8_of(url)), on_end, user_data);
}

int port_device_get_serial(char16_t *out) {
  PORT_CHECK(out != nullptr);
  std::string dir = os_user_dir();
  std::string path = dir + "/sn.dat";
  char digits[PORT_DEVICE_SERIAL_CHARS + 1] = {};
  if (!read_serial(path, digits)) {
    make_serial(digits);
    if (os_make_dirs(dir)) write_serial(path, digits);
  }
  for (int i = 0; i < PORT_DEVICE_SERIAL_CHARS; i++) out[i] = char16_t(digits[i]);
  out[PORT_DEVICE_SERIAL_CHARS] = 0;
  return PORT_DEVICE_SERIAL_CHARS;
}

namespace {

// The runtime's generator of the device: 15-bit values.
int next_random_locked() {
  g_random_state = g_random_state * 214013u + 2531011u;
  return int((g_random_state >> 16) & 0x7FFF);
}

void restore_display_tick(uint32_t id, void *user_data) {
  (void)user_data;
  wins_timer_stop(id);
  if (g_restore_timer == id) g_restore_timer = 0;
  wins_window_post_to_frame(WM_SETTINGCHANGE, OS_SETTING_DISPLAY, 0);
}

// 1 with 15 digits read; a missing, short or non-digit file counts as absent.
int read_serial(const std::string &path, char *digits) {
  FILE *file = std::fopen(path.c_str(), "rb");
  if (!file) return 0;
  size_t got = std::fread(digits, 1, PORT_DEVICE_SERIAL_CHARS, file);
  std::fclose(file);
  if (got != size_t(PORT_DEVICE_SERIAL_CHARS)) return 0;
  for (int i = 0; i < PORT_DEVICE_SERIAL_CHARS; i++)
    if (digits[i] < '0' || digits[i] > '9') return 0;
  digits[PORT_DEVICE_SERIAL_CHARS] = 0;
  return 1;
}

// Two draws, each doubled until it has 8 digits; a zero draw is drawn again,
// since doubling 0 never ends.
void make_serial(char *digits) {
  int draws[2];
  for (int &draw : draws) {
    do draw = port_device_random();
    while (draw == 0);
    while (draw < k_serial_min_draw) draw *= 2;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%d%d", draws[0], draws[1]);
  std::string all = text;
  if (all.size() < size_t(PORT_DEVICE_SERIAL_CHARS + 1)) all += std::string(15, '0');
  std::memcpy(digits, all.data(), PORT_DEVICE_SERIAL_CHARS);
  digits[PORT_DEVICE_SERIAL_CHARS] = 0;
}

// Written beside the old file and renamed over it, so a failed write loses nothing.
void write_serial(const std::string &path, const char *digits) {
  std::string temp = path + ".tmp";
  FILE *file = std::fopen(temp.c_str(), "wb");
  if (!file) return;
  size_t put = std::fwrite(digits, 1, PORT_DEVICE_SERIAL_CHARS, file);
  int closed = std::fclose(file);
  if (put != size_t(PORT_DEVICE_SERIAL_CHARS) || closed != 0 || std::rename(temp.c_str(), path.c_str()) != 0)
    std::remove(temp.c_str());
}

// Never destroyed: a launch thread may end after the program's statics.
std::mutex &launch_mutex() {
  static std::mutex *mutex = new std::mutex;
  return *mutex;
}

std::vector<std::shared_ptr<launch>> &launches() {
  static auto *running = new std::vector<std::shared_ptr<launch>>;
  return *running;
}

void forget_launch_locked(const launch *ended) {
  std::vector<std::shared_ptr<launch>> &running = launches();
  for (size_t i = 0; i < running.size(); i++)
    if (running[i].get() == ended) {
      running.erase(running.begin() + long(i));
      return;
    }
}

// The launch's own thread: waits for the program, then hands the answer to
// the GUI thread, or ends the launch when no one waits for it.
void run_launch(std::shared_ptr<launch> started, os_launcher_fn launcher, std::vector<std::string> argv) {
  int result = launcher(argv);
  std::lock_guard<std::mutex> lock(launch_mutex());
  started->result = result;
  if (started->ao)
    win_ao_signal(started->ao);
  else
    forget_launch_locked(started.get());
}

void on_launch_end(win_ao *ao, void *user_data) {
  port_device_launch_fn on_end;
  void *on_end_data;
  int result;
  {
    std::lock_guard<std::mutex> lock(launch_mutex());
    const launch *ended = static_cast<const launch *>(user_data);
    on_end = ended->on_end;
    on_end_data = ended->user_data;
    result = ended->result;
    forget_launch_locked(ended);
  }
  win_ao_free(ao);
  on_end(result, on_end_data);
}

}  // namespace
