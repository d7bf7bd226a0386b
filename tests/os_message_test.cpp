#include "os_message.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "os_clock.h"

namespace {

class Messages : public ::testing::Test {
 protected:
  void TearDown() override {
    os_message_reset();
    os_clock_drive(0);
  }
};

std::vector<uint32_t> g_seen;
std::vector<os_hwnd> g_destroyed;

intptr_t recording_proc(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  g_seen.push_back(message);
  if (message == WM_DESTROY) g_destroyed.push_back(window);
  return os_def_window_proc(window, message, wparam, lparam);
}

int g_timer_calls;
void count_timer(os_hwnd, uint32_t, uint32_t, uint32_t) { g_timer_calls++; }

}  // namespace

TEST_F(Messages, PostedComeFirstThenQuitThenTimersAndGetEndsAtItsDeadline) {
  os_clock_drive(1);
  uint32_t timer = os_set_timer(10, count_timer);
  os_clock_advance(50);
  os_post_quit_message(3);
  os_post_message(0, WM_USER, 1, 0);
  os_post_message(0, WM_USER, 2, 0);
  os_message m;
  std::vector<std::vector<uint64_t>> got;  // result, message, wparam
  for (int i = 0; i < 4; i++) {
    int result = os_get_message(&m, OS_WAIT_FOREVER);
    got.push_back({uint64_t(result), m.message, m.message == WM_TIMER ? 0 : m.wparam});
  }
  EXPECT_EQ(got, (std::vector<std::vector<uint64_t>>{{1, WM_USER, 1}, {1, WM_USER, 2}, {0, WM_QUIT, 3}, {1, WM_TIMER, 0}}));
  // A timer killed after its message was taken does not fire.
  os_kill_timer(timer);
  os_dispatch_message(&m);
  EXPECT_EQ(g_timer_calls, 0);

  EXPECT_EQ(os_get_message(&m, os_clock_now_ms()), -1);
  // A driven clock moved on by another thread ends the wait.
  uint64_t deadline = os_clock_now_ms() + 1000;
  std::thread mover([] { os_clock_advance(1000); });
  EXPECT_EQ(os_get_message(&m, deadline), -1);
  mover.join();
}

// What a long task asks to learn that the program is to end: a close of its
// window, or a quit, waiting and left where it waits.
TEST_F(Messages, AWaitingCloseOrQuitIsSeenWithoutBeingTaken) {
  os_hwnd frame = os_window_create(u"frame", u"", recording_proc, 0, 0, 0, 10, 10);
  os_hwnd other = os_window_create(u"other", u"", recording_proc, 0, 0, 0, 10, 10);
  os_post_message(frame, WM_USER, 0, 0);
  os_post_message(other, WM_CLOSE, 0, 0);
  EXPECT_FALSE(os_close_pending(frame));
  os_post_message(frame, WM_CLOSE, 0, 0);
  EXPECT_TRUE(os_close_pending(frame));
  os_message m;
  std::vector<uint32_t> taken;
  while (os_peek_message(&m)) taken.push_back(m.message);
  EXPECT_EQ(taken, (std::vector<uint32_t>{WM_USER, WM_CLOSE, WM_CLOSE}));
  EXPECT_FALSE(os_close_pending(frame));
  os_post_quit_message(0);
  EXPECT_TRUE(os_close_pending(frame));
}

TEST_F(Messages, PostsFromOtherThreadsWakeTheGetterAndAreNotLost) {
  constexpr int k_threads = 4, k_each = 2000;
  std::vector<std::thread> posters;
  for (int t = 0; t < k_threads; t++)
    posters.emplace_back([t] {
      for (int i = 0; i < k_each; i++) os_post_message(0, WM_USER, uintptr_t(t), i);
    });
  std::vector<int> next(k_threads, 0);
  os_message m;
  int got = 0;
  while (got < k_threads * k_each && os_get_message(&m, os_clock_now_ms() + 5000) == 1) {
    EXPECT_EQ(m.lparam, next[m.wparam]);  // each thread's posts keep their order
    next[m.wparam]++;
    got++;
  }
  for (std::thread &p : posters) p.join();
  EXPECT_EQ(got, k_threads * k_each);
}

TEST_F(Messages, ClosingDestroysChildrenAndDropsTheirMessages) {
  g_seen.clear();
  g_destroyed.clear();
  os_hwnd frame = os_window_create(u"Frame", u"Title", recording_proc, 0, 0, 0, 100, 100);
  os_hwnd view = os_window_create(u"View", u"", recording_proc, frame, 0, 0, 100, 100);
  ASSERT_TRUE(frame && view);
  EXPECT_EQ(os_window_find(u"Frame", u"Title"), frame);
  os_post_message(view, WM_USER, 0, 0);
  os_send_message(frame, WM_CLOSE, 0, 0);
  EXPECT_EQ(g_destroyed, (std::vector<os_hwnd>{frame, view}));
  EXPECT_FALSE(os_window_is_alive(view));
  g_seen.clear();
  os_message m;
  ASSERT_EQ(os_peek_message(&m), 1);
  EXPECT_EQ(os_dispatch_message(&m), 0);
  EXPECT_TRUE(g_seen.empty());
  // A new window never takes a dead one's handle.
  os_hwnd again = os_window_create(u"Frame", u"Title", recording_proc, 0, 0, 0, 1, 1);
  EXPECT_TRUE(again != frame && again != view);
}

TEST_F(Messages, KeyStateFollowsTakenKeyMessages) {
  os_message m;
  os_post_message(0, WM_KEYDOWN, VK_SHIFT, 1);
  EXPECT_EQ(os_get_key_state(VK_SHIFT), 0);  // not yet taken
  os_peek_message(&m);
  EXPECT_EQ(os_get_key_state(VK_SHIFT), 1);
  os_post_message(0, WM_KEYUP, VK_SHIFT, 1);
  os_peek_message(&m);
  EXPECT_EQ(os_get_key_state(VK_SHIFT), 0);
}
