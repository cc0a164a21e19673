// Spawns a program with its output to /dev/null and waits for it, once per
// benchmark iteration: the cost of running another program, measured the same
// way for the peer tools and for ours.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "quiet_spawn.h"

namespace glimmet::bench {

inline void spawnAndWait(benchmark::State& state, std::vector<std::string> argv) {
  const QuietSpawn program(std::move(argv));
  for (auto _ : state) {
    const auto pid = program.start();
    if (!pid) {
      state.SkipWithError("spawn failed");
      break;
    }
    int status = 0;
    waitpid(*pid, &status, 0);
  }
}

}  // namespace glimmet::bench
