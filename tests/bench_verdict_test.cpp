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

TEST(BenchVerdict, OnlyTheFiltersThatRunEveryCaseMakeAWholeRun) {
  for (const char *filter : {"", ".", "all"}) EXPECT_TRUE(bench_whole_run(filter)) << filter;
  for (const char *filter : {"spiral", "BM_flood_fill_spiral_1000", ".*fill", "-"})
    EXPECT_FALSE(bench_whole_run(filter)) << filter;
}

}  // namespace
