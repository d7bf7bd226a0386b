#include "wins_timer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "os_clock.h"
#include "port_test_app.h"

namespace {

std::vector<int> g_ticks(16);
uint32_t g_other;

void count_tick(uint32_t, void *slot) { g_ticks[size_t(reinterpret_cast<intptr_t>(slot))]++; }
void one_shot(uint32_t id, void *slot) {
  count_tick(id, slot);
  wins_timer_stop(id);
}
void stops_another_then_itself(uint32_t id, void *slot) {
  count_tick(id, slot);
  wins_timer_stop(g_other);
  wins_timer_stop(id);
}

// Every test drives the clock, so ticks come only when a test moves time on.
class Timers : public ::testing::Test {
 protected:
  void SetUp() override {
    os_clock_drive(1);
    std::fill(g_ticks.begin(), g_ticks.end(), 0);
  }
  void TearDown() override {
    wins_timer_stop_all();
    os_message_reset();
    os_clock_drive(0);
  }
  // Moves time on in steps and dispatches what comes due.
  void run_for(uint32_t ms, uint32_t step = 10) {
    for (uint32_t t = 0; t < ms; t += step) {
      os_clock_advance(step);
      port_test_pump();
    }
  }
  uint32_t start(uint32_t ms, wins_timer_callback fn, intptr_t slot) {
    return wins_timer_start(ms, 0, fn, reinterpret_cast<void *>(slot));
  }
};

}  // namespace

TEST_F(Timers, NinthTimerIsRefusedWhileEightKeepFiring) {
  std::vector<uint32_t> handles;
  for (intptr_t i = 0; i < 8; i++) handles.push_back(start(100, count_tick, i));
  EXPECT_EQ(std::count(handles.begin(), handles.end(), 0u), 0);
  EXPECT_EQ(start(100, count_tick, 8), 0u);
  run_for(300);
  EXPECT_EQ(g_ticks, (std::vector<int>{3, 3, 3, 3, 3, 3, 3, 3, 0, 0, 0, 0, 0, 0, 0, 0}));
  // Stopping one frees a place, and the others keep their order and ticks.
  EXPECT_NE(wins_timer_stop(handles[3]), 0);
  EXPECT_NE(start(100, count_tick, 8), 0u);
  run_for(100);
  EXPECT_EQ(g_ticks, (std::vector<int>{4, 4, 4, 3, 4, 4, 4, 4, 1, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Timers, OneShotRunsOnceAndALateTimerFiresOnceThenKeepsItsInterval) {
  ASSERT_NE(start(500, one_shot, 0), 0u);
  run_for(2000);
  EXPECT_EQ(g_ticks[0], 1);
  EXPECT_EQ(os_next_timer_in(), -1);

  ASSERT_NE(start(100, count_tick, 1), 0u);
  os_clock_advance(1000);  // the loop was busy for ten intervals
  port_test_pump();
  EXPECT_EQ(g_ticks[1], 1);
  EXPECT_EQ(os_next_timer_in(), 100);
  run_for(100);
  EXPECT_EQ(g_ticks[1], 2);
}

TEST_F(Timers, CallbackStopsItselfAndATimerDueInTheSameTurn) {
  uint32_t first = start(100, stops_another_then_itself, 0);
  g_other = start(100, count_tick, 1);
  uint32_t third = start(100, count_tick, 2);
  ASSERT_TRUE(first && g_other && third);
  run_for(300);
  // The second's message was due with the first's, but it was stopped; the
  // table moved down under the third without harm.
  EXPECT_EQ(std::vector<int>(g_ticks.begin(), g_ticks.begin() + 3), (std::vector<int>{1, 0, 3}));
  EXPECT_EQ(wins_timer_stop(first), 0);  // already stopped: the system refuses
  EXPECT_EXIT(wins_timer_stop(0), ::testing::ExitedWithCode(255), "code = wins_timer\\([0-9]+\\)");
}
