// Termination signals taken like a close of the program's window.
#include "os_signal.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>

namespace {

sigset_t g_signals;
sigset_t g_old_mask;
std::thread g_watcher;
std::atomic<int> g_stopping{0};
std::atomic<os_hwnd> g_target{0};

void watch_loop() {
  for (;;) {
    int signal_number = 0;
    if (sigwait(&g_signals, &signal_number) != 0) continue;
    if (g_stopping.load()) return;
    os_hwnd window = g_target.load();
    if (window && os_window_is_alive(window))
      os_post_message(window, WM_CLOSE, 0, 0);
    else
      os_post_quit_message(0);
  }
}

}  // namespace

int os_signal_watch() {
  if (g_watcher.joinable()) return 1;
  sigemptyset(&g_signals);
  sigaddset(&g_signals, SIGTERM);
  sigaddset(&g_signals, SIGINT);
  if (pthread_sigmask(SIG_BLOCK, &g_signals, &g_old_mask) != 0) return 0;
  g_stopping.store(0);
  g_watcher = std::thread(watch_loop);
  return 1;
}

void os_signal_set_target(os_hwnd window) { g_target.store(window); }

void os_signal_unwatch() {
  if (!g_watcher.joinable()) return;
  g_stopping.store(1);
  pthread_kill(g_watcher.native_handle(), SIGTERM);
  g_watcher.join();
  g_target.store(0);
  pthread_sigmask(SIG_SETMASK, &g_old_mask, nullptr);
}
