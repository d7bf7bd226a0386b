// fuzz_port: what the fuzz targets whose code needs a screen share. Each run
// starts the real port on the headless display with the target's body as the
// application main; the user folder (lock, settings) is one of this process's
// own, removed when it ends.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "os_display.h"
#include "wins_window.h"

// BRIVOLA_HOME becomes /tmp/<tag>-<pid> and the display the headless one.
inline void fuzz_port_set_up(const char *tag) {
  static std::string home;
  home = std::string("/tmp/") + tag + "-" + std::to_string(getpid());
  setenv("BRIVOLA_HOME", home.c_str(), 1);
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
  });
  os_display_select(os_display_headless_backend());
}

// Starts the port at `screen` ("WxH") with `main` as the application main;
// the port's exit code.
inline int fuzz_port_run(int (*main)(void *instance, const char16_t *command_line), const char *screen) {
  static const char16_t k_name[] = u"Brivola";
  auto name = [](char16_t *buffer) {
    std::copy(k_name, k_name + sizeof k_name / sizeof k_name[0], buffer);
    return buffer;
  };
  const wins_window_app app = {name, main, nullptr};
  std::string size = screen;
  char arg0[] = "brivola", arg1[] = "--screen";
  char *argv[] = {arg0, arg1, size.data(), nullptr};
  return wins_window_main(3, argv, &app);
}
