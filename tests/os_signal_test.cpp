// Termination signals: the program, started in a child process on the
// headless display, ends through its orderly road however many of them come.
#include "os_signal.h"

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app_test_env.h"
#include "os_display.h"
#include "paint_main.h"
#include "wins_window.h"

namespace {

int g_signal;
int g_presented;
const os_display_backend *g_headless;

size_t thread_count() {
  size_t count = 0;
  for (const auto &task : std::filesystem::directory_iterator("/proc/self/task")) count += task.exists();
  return count;
}

void send_signal() { kill(getpid(), g_signal); }

// The first picture shown is the start's last step: the first signal of the
// burst comes then, and ends the program through its window.
int present_then_signal(const tbitmap *screen, const trect *rect) {
  if (!g_presented++) send_signal();
  return g_headless->present(screen, rect);
}

// The display goes late in the tear-down: the rest of the burst comes while
// it goes, 10 ms apart.
void signal_then_close() {
  for (int i = 0; i < 9; i++) {
    send_signal();
    usleep(10000);
  }
  g_headless->close();
}

// The real program in this (child) process; its exit status, or 3 when a
// thread it started outlived it.
int run_under_burst(int signal_number) {
  g_signal = signal_number;
  g_headless = os_display_headless_backend();
  static os_display_backend burst;
  burst = *g_headless;
  burst.present = present_then_signal;
  burst.close = signal_then_close;
  os_display_select(&burst);
  size_t threads = thread_count();
  char arg0[] = "brivola", arg1[] = "--screen", arg2[] = "480x640";
  char *argv[] = {arg0, arg1, arg2, nullptr};
  int code = wins_window_main(3, argv, paint_main_get_app());
  if (thread_count() != threads) {
    std::fprintf(stderr, "%zu threads before, %zu after\n", threads, thread_count());
    return 3;
  }
  return code;
}

}  // namespace

// Ten signals 10 ms apart, the first ending the program and the rest coming
// during its tear-down: the tear-down runs to its end and the status is 0,
// with the painting and the settings kept; no thread outlives the program.
TEST(Signals, ABurstDuringTheExitEndsTheProgramWithItsOwnStatus) {
  for (int signal_number : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal_number);
    app_test_folders folders;
    EXPECT_EXIT(std::exit(run_under_burst(signal_number)), ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(std::filesystem::exists(folders.home + "/cache/paint.cache"));
    EXPECT_TRUE(std::filesystem::exists(folders.home + "/config.xml"));
  }
}
