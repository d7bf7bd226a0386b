// Termination signals taken like a close of the program's window.
#include "os_signal.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdlib>

namespace {

sigset_t g_signals;
sigset_t g_old_mask;
// A plain thread id, not a std::thread: an exit() before the unwatch (Xlib's
// when the display goes, or any other) must not destroy a joinable thread
// object, which aborts the process.
pthread_t g_watcher;
int g_watching = 0;
int g_blocked = 0;  // the signals are blocked here, watched or absorbed; g_old_mask is the mask before
std::atomic<int> g_stopping{0};
std::atomic<os_hwnd> g_target{0};

void stop_watcher();
void drop_pending();

void *watch_loop(void *) {
  for (;;) {
    int signal_number = 0;
    if (sigwait(&g_signals, &signal_number) != 0) continue;
    if (g_stopping.load()) return nullptr;
    os_hwnd window = g_target.load();
    if (window && os_window_is_alive(window))
      os_post_message(window, WM_CLOSE, 0, 0);
    else
      os_post_quit_message(0);
  }
}

// Any exit() ends the watcher before the static objects it posts into (the
// message queue) are destroyed.
void unwatch_at_exit() { os_signal_unwatch(); }

}  // namespace

int os_signal_watch() {
  if (g_watching) return 1;
  sigemptyset(&g_signals);
  sigaddset(&g_signals, SIGTERM);
  sigaddset(&g_signals, SIGINT);
  // A blocked signal is queued even when ignored: one that nohup set
  // aside is left out, or sigwait would take it all the same.
  struct sigaction hangup;
  if (sigaction(SIGHUP, nullptr, &hangup) == 0 && hangup.sa_handler != SIG_IGN) sigaddset(&g_signals, SIGHUP);
  if (pthread_sigmask(SIG_BLOCK, &g_signals, g_blocked ? nullptr : &g_old_mask) != 0) return 0;
  if (g_blocked) drop_pending();
  g_blocked = 1;
  g_stopping.store(0);
  if (pthread_create(&g_watcher, nullptr, watch_loop, nullptr) != 0) {
    os_signal_give_back();
    return 0;
  }
  g_watching = 1;
  static const int at_exit_registered = std::atexit(unwatch_at_exit);
  (void)at_exit_registered;
  return 1;
}

void os_signal_set_target(os_hwnd window) { g_target.store(window); }

void os_signal_unwatch() { stop_watcher(); }

void os_signal_give_back() {
  stop_watcher();
  if (!g_blocked) return;
  g_blocked = 0;
  pthread_sigmask(SIG_SETMASK, &g_old_mask, nullptr);
}

namespace {

// The mask is left as it is: restoring it now would let a signal that came
// during the exit end the process with the default action, skipping what is
// left of the tear-down.
void stop_watcher() {
  if (!g_watching || pthread_equal(g_watcher, pthread_self())) return;
  g_watching = 0;
  g_stopping.store(1);
  pthread_kill(g_watcher, SIGTERM);
  pthread_join(g_watcher, nullptr);
  g_target.store(0);
}

void drop_pending() {
  const timespec now = {0, 0};
  while (sigtimedwait(&g_signals, nullptr, &now) > 0) {
  }
}

}  // namespace
