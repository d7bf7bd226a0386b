// Figures that `make bench` prints: each benchmark file registers the ratios
// and reported values it owns, naming the Google Benchmark cases they are
// computed from. The cases of one figure run side by side in the same run,
// so a ratio compares like with like on a shared, noisy machine.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "bench_verdict.h"

// NAME: time(numerator) / time(denominator), printed with its goal (none
// when the goal is 0: a figure that is only reported).
int bench_register_ratio(const std::string &name, const std::string &numerator,
                         const std::string &denominator, double goal);

// NAME: the worst of several such ratios, one per size of the same operation.
int bench_register_worst_ratio(const std::string &name,
                               const std::vector<std::pair<std::string, std::string>> &pairs, double goal);

// NAME: the median real time of one case in milliseconds: printed as is
// when goal_ms is 0, else at most goal_ms, plus the median of the case
// `beside` when one is named (a budget over work measured in the same run).
int bench_register_ms(const std::string &name, const std::string &bench, double goal_ms = 0,
                      const std::string &beside = "");

// NAME: a value computed by the benchmark file itself (set while it runs).
int bench_register_value(const std::string &name, double goal);
void bench_set_value(const std::string &name, double value);
// Sets it to the middle of the values (bench_median); nothing when there
// are none. A benchmark keeps its values over every repetition (in a
// static), so the figure is the median of the whole run.
void bench_set_median(const std::string &name, std::vector<double> values);

// NAME: a text the benchmark file sets while it runs (which path or which
// display a figure was measured on).
int bench_register_note(const std::string &name);
void bench_set_note(const std::string &name, const std::string &text);

// A figure whose cases stopped with an error (state.SkipWithError: an input
// missing, a program that did not start) prints "failed" with the reason, and
// the run ends with a non-zero status. A value figure fails through this.
void bench_fail_value(const std::string &name, const std::string &why);

#define BENCH_CONCAT2(a, b) a##b
#define BENCH_CONCAT(a, b) BENCH_CONCAT2(a, b)
#define BENCH_RATIO(name, num, den, goal) \
  static int BENCH_CONCAT(bench_ratio_, __LINE__) = bench_register_ratio(name, num, den, goal)
#define BENCH_WORST_RATIO(name, pairs, goal) \
  static int BENCH_CONCAT(bench_worst_, __LINE__) = bench_register_worst_ratio(name, pairs, goal)
#define BENCH_MS(name, bench) \
  static int BENCH_CONCAT(bench_ms_, __LINE__) = bench_register_ms(name, bench)
// A step whose ratio compares with our own work (a full repaint, our own
// fill) is reported only, as that reference moves with our own speed-ups;
// its time is held by an absolute budget a user feels instead.
#define BENCH_MS_GOAL(name, bench, goal_ms) \
  static int BENCH_CONCAT(bench_ms_, __LINE__) = bench_register_ms(name, bench, goal_ms)
#define BENCH_MS_BESIDE(name, bench, beside, extra_ms) \
  static int BENCH_CONCAT(bench_ms_, __LINE__) = bench_register_ms(name, bench, extra_ms, beside)
