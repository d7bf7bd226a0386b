#include "win_ao.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "port_test_app.h"
#include "wins_window.h"

namespace {

std::vector<int> g_runs(8);
win_ao *g_victim;

void count_run(win_ao *, void *slot) { g_runs[size_t(reinterpret_cast<intptr_t>(slot))]++; }
void free_self(win_ao *ao, void *slot) {
  count_run(ao, slot);
  win_ao_free(ao);
}
void frees_the_next_one(win_ao *ao, void *slot) {
  count_run(ao, slot);
  win_ao_free(g_victim);
  g_victim = nullptr;
}

win_ao *make(intptr_t slot, win_ao_run_fn run = count_run) {
  win_ao *ao = win_ao_new(0);
  win_ao_set_run(ao, run);
  win_ao_set_user_data(ao, reinterpret_cast<void *>(slot));
  return ao;
}

std::vector<int> runs() {
  std::vector<int> out(g_runs.begin(), g_runs.begin() + 3);
  std::fill(g_runs.begin(), g_runs.end(), 0);
  return out;
}

}  // namespace

TEST(Scheduler, SignalsBeforeAPassRunOnceAndCancelPreventsTheRun) {
  port_test_run_app([] {
    runs();
    win_ao *a = make(0), *b = make(1), *bare = win_ao_new(0);
    win_ao_signal(a);
    win_ao_signal(a);
    win_ao_signal(a);
    win_ao_signal(b);
    win_ao_cancel(b);
    win_ao_signal(bare);  // no run function: it only loses its flag
    port_test_pump();     // three messages: the first pass runs a, the rest find nothing
    EXPECT_EQ(runs(), (std::vector<int>{1, 0, 0}));
    EXPECT_FALSE(win_ao_is_signalled(bare));
    for (win_ao *ao : {a, b, bare}) win_ao_free(ao);
    return 0;
  });
}

// One pass over three signalled objects, the newest visited first: the one
// in the middle frees itself, or the first frees the next; the pass stays whole.
namespace {

// The middle object, run, signals itself and both others.
std::vector<win_ao *> g_order;
std::vector<intptr_t> g_ran;
void trace_run(win_ao *, void *slot) { g_ran.push_back(reinterpret_cast<intptr_t>(slot)); }
void signals_all(win_ao *ao, void *slot) {
  trace_run(ao, slot);
  for (win_ao *each : g_order) win_ao_signal(each);
}

}  // namespace

TEST(Scheduler, ASignalDuringAPassRunsInItForAnOlderObjectElseInTheNext) {
  port_test_run_app([] {
    win_ao *oldest = make(0, trace_run), *middle = make(1, signals_all), *newest = make(2, trace_run);
    g_order = {oldest, middle, newest};
    g_ran.clear();
    win_ao_signal(middle);
    win_ao_run_signalled();
    EXPECT_EQ(g_ran, (std::vector<intptr_t>{1, 0})) << "a pass goes from the newest to the oldest";
    g_ran.clear();
    win_ao_set_run(middle, trace_run);
    win_ao_run_signalled();
    EXPECT_EQ(g_ran, (std::vector<intptr_t>{2, 1}));
    port_test_pump();
    for (win_ao *ao : g_order) win_ao_free(ao);
    return 0;
  });
}

TEST(Scheduler, FreeingItselfOrTheNextObjectInAPassIsSafe) {
  port_test_run_app([] {
    runs();
    win_ao *oldest = make(0), *self_freeing = make(1, free_self), *newest = make(2);
    for (win_ao *ao : {newest, self_freeing, oldest}) win_ao_signal(ao);
    win_ao_run_signalled();
    EXPECT_EQ(runs(), (std::vector<int>{1, 1, 1}));
    port_test_pump();
    win_ao_free(oldest);
    win_ao_free(newest);

    win_ao *last = make(2);
    g_victim = make(1);
    win_ao *first = make(0, frees_the_next_one);
    for (win_ao *ao : {last, g_victim, first}) win_ao_signal(ao);
    win_ao_run_signalled();
    EXPECT_EQ(runs(), (std::vector<int>{1, 0, 1}));
    port_test_pump();
    win_ao_free(first);
    win_ao_free(last);
    return 0;
  });
}

TEST(Scheduler, CallsBeforeTheListExistAreFatal) {
  win_ao object{};
  EXPECT_EXIT(win_ao_signal(&object), ::testing::ExitedWithCode(255), "code = win_ao\\([0-9]+\\)");
}

namespace {

constexpr int k_threads = 4;
constexpr int k_signals = 10000;

struct worker_slot {
  std::atomic<int> sent{0};
  int seen = 0;  // GUI thread only
  int runs = 0;
};
worker_slot g_slots[k_threads];
std::atomic<int> g_finished{0};
win_ao *g_done;

void note_progress(win_ao *, void *user_data) {
  worker_slot *slot = static_cast<worker_slot *>(user_data);
  slot->seen = slot->sent.load();
  slot->runs++;
}

}  // namespace

// Workers make their own objects and signal them while the GUI thread runs
// passes; the last value each worker sent must reach the GUI thread.
TEST(Scheduler, SignalsFromFourThreadsLoseNone) {
  port_test_run_app([] {
    g_finished = 0;
    g_done = win_ao_new(0);
    win_ao_set_run(g_done, [](win_ao *, void *) { wins_window_end_wait(); });
    std::vector<std::thread> workers;
    std::vector<win_ao *> made(k_threads);
    for (int t = 0; t < k_threads; t++) {
      workers.emplace_back([t, &made] {
        win_ao *ao = win_ao_new(0);
        win_ao_set_user_data(ao, &g_slots[t]);
        win_ao_set_run(ao, note_progress);
        made[size_t(t)] = ao;
        for (int i = 1; i <= k_signals; i++) {
          g_slots[t].sent.store(i);
          win_ao_signal(ao);
        }
        if (g_finished.fetch_add(1) + 1 == k_threads) win_ao_signal(g_done);
      });
    }
    wins_window_run_wait();
    for (std::thread &w : workers) w.join();
    port_test_pump();
    for (int t = 0; t < k_threads; t++) {
      EXPECT_EQ(g_slots[t].seen, k_signals) << "worker " << t;
      EXPECT_GE(g_slots[t].runs, 1);
      win_ao_free(made[size_t(t)]);
    }
    win_ao_free(g_done);
    return 0;
  });
}
