#include "wins_timer.h"

#include <gtest/gtest.h>

#include <vector>

#include "os_clock.h"
#include "port_test_app.h"

namespace {

// Every test drives the clock, so ticks come only when a test moves time on.
class Timers : public ::testing::Test {
 protected:
  void SetUp() override { os_clock_drive(1); }
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
};

std::vector<int> g_ticks(16);

void count_tick(uint32_t, void *user_data) { g_ticks[size_t(reinterpret_cast<intptr_t>(user_data))]++; }

void one_shot(uint32_t id, void *user_data) {
  count_tick(id, user_data);
  wins_timer_stop(id);
}

uint32_t g_other;
void stops_another_then_itself(uint32_t id, void *user_data) {
  count_tick(id, user_data);
  wins_timer_stop(g_other);
  wins_timer_stop(id);
}

}  // namespace

TEST_F(Timers, NinthTimerIsRefusedWhileEightKeepFiring) {
  std::fill(g_ticks.begin(), g_ticks.end(), 0);
  std::vector<uint32_t> handles;
  for (intptr_t i = 0; i < 8; i++) {
    uint32_t h = wins_timer_start(100, 0, count_tick, reinterpret_cast<void *>(i));
    ASSERT_NE(h, 0u);
    handles.push_back(h);
  }
  EXPECT_EQ(wins_timer_start(100, 0, count_tick, reinterpret_cast<void *>(intptr_t(8))), 0u);
  run_for(300);
  for (int i = 0; i < 8; i++) EXPECT_EQ(g_ticks[size_t(i)], 3) << "timer " << i;
  EXPECT_EQ(g_ticks[8], 0);
  // Stopping one frees a place, and the others keep their order and ticks.
  EXPECT_NE(wins_timer_stop(handles[3]), 0);
  EXPECT_NE(wins_timer_start(100, 0, count_tick, reinterpret_cast<void *>(intptr_t(8))), 0u);
  run_for(100);
  EXPECT_EQ(g_ticks[3], 3);
  EXPECT_EQ(g_ticks[7], 4);
  EXPECT_EQ(g_ticks[8], 1);
}

TEST_F(Timers, OneShotRunsOnce) {
  std::fill(g_ticks.begin(), g_ticks.end(), 0);
  ASSERT_NE(wins_timer_start(500, 0, one_shot, nullptr), 0u);
  run_for(2000);
  EXPECT_EQ(g_ticks[0], 1);
  EXPECT_EQ(os_next_timer_in(), -1);
}

TEST_F(Timers, LateTimerFiresOnceThenKeepsItsInterval) {
  std::fill(g_ticks.begin(), g_ticks.end(), 0);
  ASSERT_NE(wins_timer_start(100, 0, count_tick, nullptr), 0u);
  os_clock_advance(1000);  // the loop was busy for ten intervals
  port_test_pump();
  EXPECT_EQ(g_ticks[0], 1);
  EXPECT_EQ(os_next_timer_in(), 100);
  run_for(100);
  EXPECT_EQ(g_ticks[0], 2);
}

TEST_F(Timers, CallbackStopsItselfAndATimerDueInTheSameTurn) {
  std::fill(g_ticks.begin(), g_ticks.end(), 0);
  uint32_t first = wins_timer_start(100, 0, stops_another_then_itself, reinterpret_cast<void *>(intptr_t(0)));
  g_other = wins_timer_start(100, 0, count_tick, reinterpret_cast<void *>(intptr_t(1)));
  uint32_t third = wins_timer_start(100, 0, count_tick, reinterpret_cast<void *>(intptr_t(2)));
  ASSERT_TRUE(first && g_other && third);
  run_for(300);
  EXPECT_EQ(g_ticks[0], 1);
  EXPECT_EQ(g_ticks[1], 0);  // its message was due with the first's, but it was stopped
  EXPECT_EQ(g_ticks[2], 3);  // the table moved down under it without harm
  EXPECT_EQ(wins_timer_stop(first), 0);  // already stopped: the system refuses
}

TEST_F(Timers, NullHandleIsFatal) {
  EXPECT_EXIT(wins_timer_stop(0), ::testing::ExitedWithCode(255), "code = wins_timer\\([0-9]+\\)");
}
