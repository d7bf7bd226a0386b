// Termination signals: the program, started in a child process on the
// headless display, ends through its orderly road however many of them come,
// and the signal watcher has ended when its unwatch returns.
#include "os_signal.h"

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app_test_env.h"
#include "os_display.h"
#include "paint_main.h"
#include "port_test_app.h"
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

pid_t g_main_tid;
std::atomic<bool> g_watcher_waits{false}, g_watcher_ended{false};

struct watcher_end {
  ~watcher_end() { g_watcher_ended = true; }
};

// The scheduling state of a thread of this process ('S' while it sleeps).
char thread_state(pid_t tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  size_t end_of_name = text.rfind(')');
  return end_of_name != std::string::npos && end_of_name + 2 < text.size() ? text[end_of_name + 2] : '?';
}

// The watcher, telling of a signal, is held here until the stop has been
// sent to it and the thread that sent it sleeps, as it does only in the wait
// for the watcher to end: if that thread went on instead, the watcher is
// still here when it looks.
void wake_once_the_stopper_waits() {
  if (pid_t(syscall(SYS_gettid)) == g_main_tid) return;
  static thread_local watcher_end end;
  (void)end;
  g_watcher_waits = true;
  for (;;) {
    sigset_t pending;
    if (sigpending(&pending) == 0 && sigismember(&pending, SIGTERM) && thread_state(g_main_tid) == 'S') break;
    usleep(1000);
  }
  g_watcher_waits = false;
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

// The watcher has ended when the unwatch returns, even one that was telling
// of a signal at that moment: nothing of it outlives the program.
TEST(Signals, TheWatcherHasEndedWhenTheUnwatchReturns) {
  EXPECT_EXIT(
      {
        g_main_tid = pid_t(syscall(SYS_gettid));
        static os_display_backend held = *os_display_headless_backend();
        held.wake = wake_once_the_stopper_waits;
        os_display_select(&held);
        char reason[128];
        if (!os_display_open(240, 320, u"signals", reason, sizeof reason) || !os_signal_watch()) std::exit(2);
        kill(getpid(), SIGINT);
        while (!g_watcher_waits) usleep(1000);
        os_signal_unwatch();
        std::exit(g_watcher_ended ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
}

// A watch asked for while one runs starts no second watcher: the one
// unwatch leaves no thread behind.
TEST(Signals, AWatchWhileWatchingStartsNoSecondWatcher) {
  EXPECT_EXIT(
      {
        size_t threads = thread_count();
        if (!os_signal_watch() || !os_signal_watch()) std::exit(2);
        os_signal_unwatch();
        // A joined thread may linger in /proc a moment.
        for (int waited = 0; thread_count() != threads && waited < 5000; waited++) usleep(1000);
        std::exit(thread_count() == threads ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
}

// A test body runs the program in the test's own process: a SIGTERM from
// outside (a time-out) ends that process, and is no window close the body
// would not heed. The sleep only bounds the wait when it is one.
TEST(Signals, ASignalFromOutsideEndsATestThatRunsTheProgram) {
  EXPECT_EXIT(port_test_run_app([] {
                kill(getpid(), SIGTERM);
                sleep(10);
                return 0;
              }),
              ::testing::KilledBySignal(SIGTERM), "");
}
