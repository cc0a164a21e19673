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
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "sleepers.h"

extern char** environ;

namespace {

struct Run {
  double milliseconds = 0;
  long maxRSSKiB = 0;
};

double now() {
  timespec time{};
  clock_gettime(CLOCK_MONOTONIC, &time);
  return static_cast<double>(time.tv_sec) * 1e3 + static_cast<double>(time.tv_nsec) / 1e6;
}

Run runOnce(std::vector<std::string> argv) {
  std::vector<char*> pointers;
  for (auto& word : argv) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  Run run;
  const double start = now();
  pid_t pid = 0;
  if (posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ) == 0) {
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.maxRSSKiB = usage.ru_maxrss;
  }
  run.milliseconds = now() - start;
  posix_spawn_file_actions_destroy(&actions);
  return run;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const auto middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

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
    runOnce(pair.glimmet);  // caches warm for both
    runOnce(pair.peer);
    std::vector<double> ours, theirs;
    long peak = 0;
    for (int i = 0; i < iterations; ++i) {
      const Run run = runOnce(pair.glimmet);
      ours.push_back(run.milliseconds);
      peak = std::max(peak, run.maxRSSKiB);
      theirs.push_back(runOnce(pair.peer).milliseconds);
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
