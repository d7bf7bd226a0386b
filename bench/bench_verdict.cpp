#include "bench_verdict.h"

#include <algorithm>

double bench_median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

bool bench_whole_run(const std::string &filter) { return filter.empty() || filter == "." || filter == "all"; }

std::vector<std::string> bench_missed(const std::vector<bench_outcome> &outcomes, bool whole_run) {
  std::vector<std::string> missed;
  for (const bench_outcome &f : outcomes) {
    const bool judged = f.goal > 0;
    if (f.failed || (judged && (f.measured ? f.value > f.goal : whole_run))) missed.push_back(f.name);
  }
  return missed;
}
