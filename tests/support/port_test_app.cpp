// Runs the real start-up of the port around a test body.
#include "port_test_app.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include <gtest/gtest.h>

#include "os_display.h"
#include "os_signal.h"
#include "port_device.h"
#include "test_env.h"
#include "win_ao.h"
#include "wins_window.h"

namespace {

std::function<int()> g_body;
bool g_body_ran = false;
int g_activations = 0;

void test_app_on_activate() { g_activations++; }

char16_t *test_app_name(char16_t *buffer) {
  const char16_t name[] = u"Brivola";
  std::memcpy(buffer, name, sizeof name);
  return buffer;
}

int test_app_main(void *instance, const char16_t *command_line) {
  (void)instance;
  (void)command_line;
  g_body_ran = true;
  // A SIGTERM or SIGINT from outside (a time-out, Ctrl+C) ends the test
  // process: taken by the program's watcher it would be a window close that
  // the body does not expect, and a body waiting for what the close stopped
  // would wait for ever.
  os_signal_give_back();
  tregistry_init_active_objects();
  int result = g_body();
  port_device_drop_launches();
  tregistry_free_active_objects();
  return result;
}

// Made on first use, removed when the test process ends.
struct user_dir_holder {
  std::string dir;
  ~user_dir_holder() {
    if (!dir.empty()) test_remove_tree(dir);
  }
};

}  // namespace

std::string port_test_user_dir() {
  static user_dir_holder holder;
  if (holder.dir.empty()) {
    holder.dir = test_make_temp_dir("home");
    setenv("BRIVOLA_HOME", holder.dir.c_str(), 1);
  }
  return holder.dir;
}

int port_test_run_app(const std::function<int()> &body, const char *screen) {
  port_test_user_dir();
  os_display_select(os_display_headless_backend());
  g_body = body;
  static const wins_window_app app = {test_app_name, test_app_main, test_app_on_activate, nullptr};
  std::string size = screen ? screen : "480x640";
  char arg0[] = "brivola", arg1[] = "--screen";
  std::string arg2 = size;
  char *argv[] = {arg0, arg1, arg2.data(), nullptr};
  g_body_ran = false;
  int result = wins_window_main(3, argv, &app);
  // The program keeps the termination signals blocked to the end of its
  // process; this one goes on, and what it starts must be able to end.
  os_signal_give_back();
  g_body = nullptr;
  // A port that refuses to start would otherwise pass every test body unrun.
  if (!g_body_ran) ADD_FAILURE() << "the port did not start at --screen " << size;
  return result;
}

int port_test_activations() { return g_activations; }

int port_test_pump() {
  int count = 0;
  os_message message;
  while (os_peek_message(&message)) {
    if (message.message == WM_QUIT) {
      os_post_quit_message(int(message.wparam));
      break;
    }
    os_dispatch_message(&message);
    count++;
  }
  return count;
}

int port_test_pump_until(const std::function<bool()> &done, int timeout_ms) {
  for (int waited = 0; waited <= timeout_ms; waited++) {
    port_test_pump();
    if (done()) return 1;
    timespec pause{0, 1000000L};
    nanosleep(&pause, nullptr);
  }
  return 0;
}

int port_test_finish_launches() {
  return port_test_pump_until([] { return port_device_get_launch_count() == 0; });
}
