// Runs every registered Google Benchmark case (repeated, so medians are used)
// and prints one line per figure: "bench NAME: VALUE (goal <= GOAL)". The run
// ends with "bench missed: " and the figures that missed (bench_verdict;
// "none" when every one held), and exits non-zero when there is one.
#include "bench_figures.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bench_verdict.h"

namespace {

struct ratio_figure {
  std::string name;
  std::vector<std::pair<std::string, std::string>> pairs;  // numerator, denominator
  double goal;
};
struct ms_figure {
  std::string name, bench;
  double goal;         // 0: only reported
  std::string beside;  // a case whose median the goal adds to, or none
};
struct value_figure {
  std::string name;
  double goal;
};

std::vector<ratio_figure> &ratios() {
  static std::vector<ratio_figure> list;
  return list;
}
std::vector<ms_figure> &reported() {
  static std::vector<ms_figure> list;
  return list;
}
std::vector<value_figure> &values() {
  static std::vector<value_figure> list;
  return list;
}
std::map<std::string, double> &value_store() {
  static std::map<std::string, double> store;
  return store;
}
std::vector<std::string> &notes() {
  static std::vector<std::string> list;
  return list;
}
std::map<std::string, std::string> &note_store() {
  static std::map<std::string, std::string> store;
  return store;
}
std::map<std::string, std::string> &value_failures() {
  static std::map<std::string, std::string> store;
  return store;
}

// Collects the real time of every repetition of every case, in nanoseconds.
class figure_reporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, std::vector<double>> times;
  std::map<std::string, std::string> errors;

  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs) {
      if (run.error_occurred) errors[run.run_name.function_name] = run.error_message;
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      double ns = run.GetAdjustedRealTime() *
                  benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                  benchmark::GetTimeUnitMultiplier(run.time_unit);
      times[run.run_name.function_name].push_back(ns);
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The case's median time (bench_median), or -1 when it has none.
  double median(const std::string &name) const {
    auto it = times.find(name);
    return it == times.end() || it->second.empty() ? -1 : bench_median(it->second);
  }
};

}  // namespace

int bench_register_ratio(const std::string &name, const std::string &numerator,
                         const std::string &denominator, double goal) {
  ratios().push_back({name, {{numerator, denominator}}, goal});
  return 0;
}

int bench_register_worst_ratio(const std::string &name,
                               const std::vector<std::pair<std::string, std::string>> &pairs, double goal) {
  ratios().push_back({name, pairs, goal});
  return 0;
}

int bench_register_ms(const std::string &name, const std::string &bench, double goal_ms, const std::string &beside) {
  reported().push_back({name, bench, goal_ms, beside});
  return 0;
}

int bench_register_value(const std::string &name, double goal) {
  values().push_back({name, goal});
  return 0;
}

void bench_set_value(const std::string &name, double value) { value_store()[name] = value; }

void bench_set_median(const std::string &name, std::vector<double> values) {
  if (!values.empty()) bench_set_value(name, bench_median(std::move(values)));
}

int bench_register_note(const std::string &name) {
  notes().push_back(name);
  return 0;
}

void bench_set_note(const std::string &name, const std::string &text) { note_store()[name] = text; }

void bench_fail_value(const std::string &name, const std::string &why) { value_failures()[name] = why; }

int main(int argc, char **argv) {
  // Listing the cases measures nothing and misses nothing.
  bool listing = false;
  for (int i = 1; i < argc; i++)
    listing = listing || (std::string(argv[i]).rfind("--benchmark_list_tests", 0) == 0 &&
                          std::string(argv[i]) != "--benchmark_list_tests=false");
  benchmark::Initialize(&argc, argv);
  figure_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (listing) {
    benchmark::Shutdown();
    return 0;
  }

  std::printf("\n");
  // A figure whose case stopped with an error prints why instead of a number.
  auto error_of = [&reporter](const std::string &bench) -> const std::string * {
    auto it = reporter.errors.find(bench);
    return it == reporter.errors.end() ? nullptr : &it->second;
  };
  std::vector<bench_outcome> outcomes;
  auto print_failed = [&outcomes](const std::string &name, double goal, const std::string &why) {
    std::printf("bench %s: failed (%s)\n", name.c_str(), why.c_str());
    outcomes.push_back({name, goal, false, 0, true});
  };
  auto print_unmeasured = [&outcomes](const std::string &name, double goal) {
    std::printf("bench %s: not measured\n", name.c_str());
    outcomes.push_back({name, goal, false, 0, false});
  };
  // A figure with a goal; one without (goal 0) is only reported.
  auto print_judged = [&outcomes](const std::string &name, double value, double goal, const std::string &how = "") {
    if (goal <= 0)
      std::printf("bench %s: %.3f\n", name.c_str(), value);
    else if (how.empty())
      std::printf("bench %s: %.3f (goal <= %g)\n", name.c_str(), value, goal);
    else
      std::printf("bench %s: %.3f (goal <= %.3f = %s)\n", name.c_str(), value, goal, how.c_str());
    outcomes.push_back({name, goal, true, value, false});
  };
  for (const ratio_figure &f : ratios()) {
    double worst = -1;
    const std::string *error = nullptr;
    for (const auto &pair : f.pairs) {
      if (!error) error = error_of(pair.first);
      if (!error) error = error_of(pair.second);
      double num = reporter.median(pair.first), den = reporter.median(pair.second);
      if (num < 0 || den <= 0) {
        worst = -1;
        break;
      }
      worst = std::max(worst, num / den);
    }
    if (error)
      print_failed(f.name, f.goal, *error);
    else if (worst < 0)
      print_unmeasured(f.name, f.goal);
    else
      print_judged(f.name, worst, f.goal);
  }
  for (const ms_figure &f : reported()) {
    const std::string *error = error_of(f.bench);
    if (!error && !f.beside.empty()) error = error_of(f.beside);
    double t = reporter.median(f.bench), beside = f.beside.empty() ? 0 : reporter.median(f.beside);
    char how[160] = "";
    if (!f.beside.empty()) std::snprintf(how, sizeof how, "%s + %g", f.beside.c_str(), f.goal);
    if (error)
      print_failed(f.name, f.goal, *error);
    else if (t < 0 || beside < 0)
      print_unmeasured(f.name, f.goal);
    else
      print_judged(f.name, t / 1e6, f.goal > 0 ? f.goal + beside / 1e6 : 0, how);
  }
  for (const value_figure &f : values()) {
    auto it = value_store().find(f.name);
    auto why = value_failures().find(f.name);
    if (why != value_failures().end())
      print_failed(f.name, f.goal, why->second);
    else if (it == value_store().end())
      print_unmeasured(f.name, f.goal);
    else
      print_judged(f.name, it->second, f.goal);
  }
  for (const std::string &name : notes()) {
    auto it = note_store().find(name);
    std::printf("bench %s: %s\n", name.c_str(), it == note_store().end() ? "not measured" : it->second.c_str());
  }
  std::string list;
  for (const std::string &name : bench_missed(outcomes, bench_whole_run(benchmark::GetBenchmarkFilter())))
    list += (list.empty() ? "" : ", ") + name;
  std::printf("bench missed: %s\n", list.empty() ? "none" : list.c_str());
  benchmark::Shutdown();
  return list.empty() ? 0 : 1;
}
