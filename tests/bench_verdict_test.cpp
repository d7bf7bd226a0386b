#include "bench_verdict.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(BenchVerdict, WholeRunsCountFiguresTheyDidNotMeasure) {
  const std::vector<bench_outcome> figures = {
      {"held", 1.0, true, 0.9, false},       {"above", 1.0, true, 1.2, false},
      {"at_goal", 4, true, 4.0, false},      {"reported", 0, true, 50, false},
      {"unmeasured", 4, false, 0, false},    {"unmeasured_reported", 0, false, 0, false},
      {"failed", 1.0, false, 0, true},       {"failed_reported", 0, false, 0, true},
  };
  const struct {
    bool whole;
    std::vector<std::string> missed;
  } cases[] = {
      {true, {"above", "unmeasured", "failed", "failed_reported"}},
      {false, {"above", "failed", "failed_reported"}},
  };
  for (const auto &c : cases) EXPECT_EQ(bench_missed(figures, c.whole), c.missed) << "whole " << c.whole;
  EXPECT_TRUE(bench_missed({{"held", 1.0, true, 0.5, false}}, true).empty());
}

// Every figure is judged on this median of a case's repetitions: not their
// mean (one slow repetition moves it), not the first or the least.
TEST(BenchVerdict, AFigureIsTheMiddleOfItsRepetitions) {
  const struct {
    std::vector<double> values;
    double median;
  } cases[] = {
      {{7}, 7},
      {{9, 1, 5}, 5},
      {{3, 100, 2, 4, 1, 2, 3}, 3},  // a stray slow one
      {{4, 1, 3, 2}, 3},            // even: the upper middle one
      {{2, 2, 1, 2}, 2},
  };
  for (const auto &c : cases) EXPECT_EQ(bench_median(c.values), c.median) << c.values.size();
}

TEST(BenchVerdict, OnlyTheFiltersThatRunEveryCaseMakeAWholeRun) {
  for (const char *filter : {"", ".", "all"}) EXPECT_TRUE(bench_whole_run(filter)) << filter;
  for (const char *filter : {"spiral", "BM_flood_fill_spiral_1000", ".*fill", "-"})
    EXPECT_FALSE(bench_whole_run(filter)) << filter;
}

}  // namespace
