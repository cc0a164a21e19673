// The process commands as a user runs them, whole processes from spawn to
// exit, each beside the system tool it stands in for, alternating in the same
// iterations so that both see the same machine:
//
//   glimmet ghosts --json   beside  ps -e -o pid,ppid,pgid,uid,stat,lstart,args
//   glimmet ports --json    beside  ss -ltnp
//   glimmet ls --json       beside  ss -ltnp
//   glimmet status --json   beside  ps -e
//
// Both write to /dev/null. It prints the median of each, their ratio and the
// peak resident memory of each glimmet run (wait4's ru_maxrss), first on the
// machine as it is, then again with 2,000 extra sleeping processes that it
// starts itself and kills at the end (only its own).
//
// Run: build/bench/bin/glimmet_whole_command_bench [ITERATIONS, default 40]
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "sleepers.h"
#include "timed_run.h"

namespace {

using glimmet::bench::median;
using glimmet::bench::timedRun;

struct Pair {
  const char* command;
  std::vector<std::string> glimmet;
  const char* peerName;
  std::vector<std::string> peer;
};

void measure(const std::vector<Pair>& pairs, int iterations, const char* title) {
  std::printf("%s (%d iterations, medians)\n", title, iterations);
  std::printf("  %-16s %10s  %-44s %10s  %6s  %9s\n", "glimmet", "ms", "peer", "ms", "ratio",
              "peak RSS");
  for (const auto& pair : pairs) {
    timedRun(pair.glimmet);  // caches warm for both
    timedRun(pair.peer);
    std::vector<double> ours, theirs;
    long peak = 0;
    for (int i = 0; i < iterations; ++i) {
      const auto run = timedRun(pair.glimmet);
      ours.push_back(run.milliseconds);
      peak = std::max(peak, run.peakKiB);
      theirs.push_back(timedRun(pair.peer).milliseconds);
    }
    const double a = median(ours), b = median(theirs);
    std::printf("  %-16s %10.2f  %-44s %10.2f  %6.2f  %6.1f MB\n", pair.command, a, pair.peerName,
                b, a / b, static_cast<double>(peak) / 1024.0);
  }
  std::fflush(stdout);
}

int processCount() {
  int count = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const auto name = entry.path().filename().string();
    if (!name.empty() &&
        std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
      ++count;
  }
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  const int iterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
  setenv("GLIMMET_SIGNATURES", GLIMMET_SIGNATURES_FILE, 1);
  const std::string binary = GLIMMET_BINARY;
  const std::vector<Pair> pairs = {
      {"ghosts --json",
       {binary, "ghosts", "--json"},
       "ps -e -o pid,ppid,pgid,uid,stat,lstart,args",
       {"/usr/bin/ps", "-e", "-o", "pid,ppid,pgid,uid,stat,lstart,args"}},
      {"ports --json", {binary, "ports", "--json"}, "ss -ltnp", {"/usr/bin/ss", "-ltnp"}},
      {"ls --json", {binary, "ls", "--json"}, "ss -ltnp", {"/usr/bin/ss", "-ltnp"}},
      {"status --json", {binary, "status", "--json"}, "ps -e", {"/usr/bin/ps", "-e"}},
  };
  const std::string title = "This machine, " + std::to_string(processCount()) + " processes";
  measure(pairs, iterations, title.c_str());
  const glimmet::bench::Sleepers sleepers(2000);
  const std::string crowded = "With " + std::to_string(sleepers.size()) +
                              " extra sleeping processes, " + std::to_string(processCount()) +
                              " in all";
  measure(pairs, iterations, crowded.c_str());
  return 0;
}
