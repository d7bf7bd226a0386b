// fuzz_port: what the fuzz targets whose code needs a screen share. The port
// is started once per process on the headless display, and libFuzzer runs
// inside it as the application main: started per input, the port (a screen, a
// display mirror, two threads, the instance lock, the style file) cost more
// than most inputs. Between inputs the timers are stopped and the queued
// messages dropped, as a port's end did, so that no timer or message of one
// input reaches the next.
//
// Such a target defines `main` as `return fuzz_port_main(argc, argv, &target);`
// and is linked without libFuzzer's own main (see CMakeLists.txt). The user
// folder (the instance lock) is one of this process's own, removed as soon
// as the port is up, so that not even a crash leaves it behind.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "os_display.h"
#include "os_instance.h"
#include "os_message.h"
#include "os_signal.h"
#include "wins_timer.h"
#include "wins_window.h"

extern "C" int LLVMFuzzerRunDriver(int *argc, char ***argv, int (*callback)(const uint8_t *data, size_t size));

struct fuzz_port_target {
  const char *tag;     // the user folder is /tmp/<tag>-<pid>
  const char *screen;  // the screen, "WxH"
  int (*start)();      // once, in the started port; 0 gives up
  void (*run)(const uint8_t *data, size_t size);  // each input
};

namespace fuzz_port_detail {

inline const fuzz_port_target *g_target = nullptr;
inline int g_argc = 0;
inline char **g_argv = nullptr;
inline std::string g_home;

inline void remove_home() {
  std::error_code ignored;
  std::filesystem::remove_all(g_home, ignored);
}

// libFuzzer ends the process with exit(): the port's threads are stopped
// first, or their objects would end it with std::terminate.
inline void stop_port() {
  os_signal_unwatch();
  os_instance_release();
}

inline int run_input(const uint8_t *data, size_t size) {
  g_target->run(data, size);
  wins_timer_stop_all();
  os_message message;
  while (os_peek_message(&message)) {
  }
  return 0;
}

inline int fuzz(void *, const char16_t *) {
  // libFuzzer's own handlers take the signals (a stop, a timeout) from here.
  os_signal_give_back();
  std::atexit(stop_port);
  remove_home();
  if (!g_target->start()) return 1;
  return LLVMFuzzerRunDriver(&g_argc, &g_argv, run_input);
}

}  // namespace fuzz_port_detail

// Starts the port at `screen` ("WxH") with `main` as the application main;
// the port's exit code.
inline int fuzz_port_run(int (*main)(void *instance, const char16_t *command_line), const char *screen) {
  static const char16_t k_name[] = u"Brivola";
  auto name = [](char16_t *buffer) {
    std::copy(k_name, k_name + sizeof k_name / sizeof k_name[0], buffer);
    return buffer;
  };
  const wins_window_app app = {name, main, nullptr, nullptr};
  std::string size = screen;
  char arg0[] = "brivola", arg1[] = "--screen";
  char *argv[] = {arg0, arg1, size.data(), nullptr};
  return wins_window_main(3, argv, &app);
}

inline int fuzz_port_main(int argc, char **argv, const fuzz_port_target *target) {
  using namespace fuzz_port_detail;
  g_target = target;
  g_argc = argc;
  g_argv = argv;
  g_home = std::string("/tmp/") + target->tag + "-" + std::to_string(getpid());
  setenv("BRIVOLA_HOME", g_home.c_str(), 1);
  std::atexit(remove_home);
  os_display_select(os_display_headless_backend());
  return fuzz_port_run(fuzz, target->screen);
}
