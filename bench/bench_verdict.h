// bench_verdict: which figures of a run missed. It knows nothing of the
// benchmarks: the runner hands it each figure as the run left it, so that
// the verdict can be checked without running any.
#pragma once

#include <string>
#include <vector>

struct bench_outcome {
  std::string name;
  double goal;    // the figure is at most this; 0 when it is only reported
  bool measured;  // value holds a measurement
  double value;
  bool failed;    // its cases stopped with an error
};

// The middle of values (the upper one of the two middle ones for an even
// count); values must not be empty. Every figure of a case's times or of a
// benchmark's own values is this median.
double bench_median(std::vector<double> values);

// Whether a run with this benchmark filter runs every case (an empty
// filter, "." and "all" do).
bool bench_whole_run(const std::string &filter);

// The names of the figures that missed, in their order: a failed figure,
// one above its goal and, in a whole run, one with a goal that was not
// measured (a filtered run leaves figures out on purpose).
std::vector<std::string> bench_missed(const std::vector<bench_outcome> &outcomes, bool whole_run);
