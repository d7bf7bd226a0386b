// wins_timer: periodic timers of the GUI thread, at most 8.
#include "wins_timer.h"

#include "port_log.h"

namespace {

struct wins_timer_entry {
  uint32_t id;
  wins_timer_callback callback;
  void *user_data;
};

wins_timer_entry g_timers[WINS_TIMER_MAX];
int g_count = 0;

}  // namespace

uint32_t wins_timer_start(uint32_t interval_ms, uint32_t unused, wins_timer_callback callback, void *user_data) {
  (void)unused;
  if (g_count >= WINS_TIMER_MAX) return 0;
  uint32_t id = os_set_timer(interval_ms, wins_timer_on_tick);
  if (!id) return 0;
  g_timers[g_count++] = {id, callback, user_data};
  return id;
}

int wins_timer_stop(uint32_t handle) {
  PORT_CHECK(handle != 0);
  int stopped = os_kill_timer(handle);
  if (!stopped) return 0;
  for (int i = 0; i < g_count; i++) {
    if (g_timers[i].id != handle) continue;
    for (int j = i + 1; j < g_count; j++) g_timers[j - 1] = g_timers[j];
    g_count--;
    break;
  }
  return stopped;
}

int wins_timer_is_active(uint32_t handle) {
  PORT_CHECK(handle != 0);
  return 1;
}

void wins_timer_on_tick(os_hwnd window, uint32_t message, uint32_t id, uint32_t time) {
  (void)window;
  (void)message;
  (void)time;
  // Ids are unique, so one entry answers. The entry is copied before the
  // call: the callback may stop timers, its own included, moving the table.
  for (int i = 0; i < g_count; i++) {
    if (g_timers[i].id != id) continue;
    wins_timer_entry entry = g_timers[i];
    if (entry.callback) entry.callback(id, entry.user_data);
    return;
  }
}

void wins_timer_stop_all() {
  while (g_count > 0) {
    uint32_t id = g_timers[0].id;
    if (!wins_timer_stop(id)) {
      for (int j = 1; j < g_count; j++) g_timers[j - 1] = g_timers[j];
      g_count--;
    }
  }
}
