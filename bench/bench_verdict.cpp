#include "bench_verdict.h"

bool bench_whole_run(const std::string &filter) { return filter.empty() || filter == "." || filter == "all"; }

std::vector<std::string> bench_missed(const std::vector<bench_outcome> &outcomes, bool whole_run) {
  std::vector<std::string> missed;
  for (const bench_outcome &f : outcomes) {
    const bool judged = f.goal > 0;
    if (f.failed || (judged && (f.measured ? f.value > f.goal : whole_run))) missed.push_back(f.name);
  }
  return missed;
}
