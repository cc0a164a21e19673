// A program run once as a whole process, from spawn to exit, with its output
// to /dev/null: what the benchmarks that pair a glimmet command with its peer
// tool time on both sides alike.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "quiet_spawn.h"

namespace glimmet::bench {

struct TimedRun {
  double milliseconds = 0;
  long peakKiB = 0;  ///< the child's peak resident memory (wait4's ru_maxrss)
};

inline TimedRun timedRun(std::vector<std::string> argv, char* const* environment = environ) {
  const QuietSpawn program(std::move(argv));
  TimedRun run;
  const auto start = std::chrono::steady_clock::now();
  if (const auto pid = program.start(environment)) {
    int status = 0;
    rusage usage{};
    wait4(*pid, &status, 0, &usage);
    run.peakKiB = usage.ru_maxrss;
  }
  run.milliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  return run;
}

inline double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace glimmet::bench
