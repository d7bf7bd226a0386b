#include "wince_connection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>

#include "os_connmgr.h"
#include "port_test_app.h"
#include "wins_window.h"

namespace {

struct report {
  std::atomic<int> calls{0};
  std::atomic<int> connected{-1};
  std::thread::id thread;
};

void on_connection(wince_connection *, int connected, void *user) {
  report *r = static_cast<report *>(user);
  r->thread = std::this_thread::get_id();
  r->connected = connected;
  r->calls++;
}

bool wait_calls(report &r, int calls, int ms = 5000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (r.calls.load() < calls && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return r.calls.load() >= calls;
}

// Runs body inside the port with a connection list and the manager switched.
void with_connections(os_connmgr_mode mode, uint32_t poll_sleep_ms, const std::function<void()> &body) {
  os_connmgr_mode old_mode = os_connmgr_set_mode(mode);
  uint32_t old_sleep = os_connmgr_set_poll_sleep_ms(poll_sleep_ms);
  port_test_run_app([&] {
    tregistry_init_connections();
    body();
    tregistry_free_connections();
    return 0;
  });
  os_connmgr_set_mode(old_mode);
  os_connmgr_set_poll_sleep_ms(old_sleep);
  EXPECT_EQ(os_connmgr_open_count(), 0) << "a connection was left with the manager";
}

}  // namespace

TEST(Connection, ComesUpOnThePollThreadThenAnsweredAtOnceWhileHeld) {
  with_connections(OS_CONNMGR_ONLINE, 1000, [] {
    wince_connection *conn = wince_connection_get(0);
    ASSERT_NE(conn, nullptr);
    report first, second;
    wince_connection_open(conn, on_connection, &first);
    ASSERT_TRUE(wait_calls(first, 1));
    EXPECT_EQ(first.connected.load(), 1);
    EXPECT_NE(first.thread, std::this_thread::get_id());
    wince_connection_open(conn, on_connection, &second);
    EXPECT_EQ(second.calls.load(), 1) << "an open connection is reported within the call";
    EXPECT_EQ(second.connected.load(), 1);
    EXPECT_EQ(second.thread, std::this_thread::get_id());
    wince_connection_release(conn);
    EXPECT_EQ(os_connmgr_open_count(), 0);
  });
}

TEST(Connection, TwoUsersShareOneRecordAndOnlyTheLastReleaseLetsGo) {
  with_connections(OS_CONNMGR_ONLINE, 1000, [] {
    wince_connection *a = wince_connection_get(0), *b = wince_connection_get(0);
    ASSERT_EQ(a, b);
    report r;
    wince_connection_open(a, on_connection, &r);
    ASSERT_TRUE(wait_calls(r, 1));
    wince_connection_release(a);
    EXPECT_EQ(os_connmgr_open_count(), 1);
    wince_connection_release(b);
    EXPECT_EQ(os_connmgr_open_count(), 0);
    // The record stays listed and can be taken again.
    EXPECT_EQ(wince_connection_get(0), a);
    wince_connection_release(a);
  });
}

TEST(Connection, FailuresReachTheCallback) {
  struct row {
    os_connmgr_mode mode;
    bool on_caller;  // known at once, before any thread
  };
  for (row c : {row{OS_CONNMGR_NO_NETWORK, true}, row{OS_CONNMGR_REFUSES, true}, row{OS_CONNMGR_NEVER_CONNECTS, false}}) {
    SCOPED_TRACE(int(c.mode));
    with_connections(c.mode, 1, [&] {
      FILE *log = std::tmpfile();
      wins_window_get_context()->_log = log;
      wince_connection *conn = wince_connection_get(0);
      report r;
      wince_connection_open(conn, on_connection, &r);
      ASSERT_TRUE(wait_calls(r, 1));
      EXPECT_EQ(r.connected.load(), 0);
      EXPECT_EQ(r.thread == std::this_thread::get_id(), c.on_caller);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      EXPECT_EQ(r.calls.load(), 1);
      EXPECT_EQ(os_connmgr_open_count(), 0) << "a request the poll gave up on is released";
      wince_connection_release(conn);
      wins_window_get_context()->_log = nullptr;
      std::rewind(log);
      int polls = 0;
      char line[128];
      while (std::fgets(line, sizeof line, log)) polls += std::strncmp(line, "Connection status: ", 19) == 0;
      EXPECT_EQ(polls, c.on_caller ? 0 : WINCE_CONNECTION_POLLS);
      std::fclose(log);
    });
  }
}

TEST(Connection, ReleaseAndTearDownStopThePollWithoutALateCallback) {
  // Polls 1 ms apart would give up within about 30 ms and call back: neither
  // the last release nor the tear-down may let that happen afterwards.
  report released, torn_down;
  with_connections(OS_CONNMGR_NEVER_CONNECTS, 1, [&] {
    wince_connection *conn = wince_connection_get(0);
    wince_connection_open(conn, on_connection, &released);
    wince_connection_release(conn);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    wince_connection_open(wince_connection_get(0), on_connection, &torn_down);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(released.calls.load(), 0);
  EXPECT_EQ(torn_down.calls.load(), 0);
}
