// The program's clock: monotonic milliseconds, optionally driven by a test.
#include "os_clock.h"

#include <time.h>

#include <atomic>

#include "os_message.h"

namespace {

std::atomic<int> g_driven{0};
std::atomic<uint64_t> g_driven_now{0};

uint64_t real_now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
}

}  // namespace

uint64_t os_clock_now_ms() { return g_driven.load() ? g_driven_now.load() : real_now_ms(); }

void os_sleep_ms(uint32_t ms) {
  if (g_driven.load()) {
    os_clock_advance(ms);
    return;
  }
  timespec ts{time_t(ms / 1000), long(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

void os_clock_drive(int on) {
  if (on && !g_driven.load()) g_driven_now.store(real_now_ms());
  g_driven.store(on ? 1 : 0);
  os_message_wake();
}

int os_clock_is_driven() { return g_driven.load(); }

void os_clock_advance(uint32_t ms) {
  g_driven_now.fetch_add(ms);
  os_message_wake();
}
