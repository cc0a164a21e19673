// Times `glimmet version` and `glimmet --help` against /bin/true, spawned the
// same way in the same run, so the difference is the tool's own start-up cost.
// Run: build/release/bench/glimmet_startup_bench --benchmark_repetitions=20
//      --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

void spawnAndWait(benchmark::State& state, std::vector<std::string> argv) {
  std::vector<char*> pointers;
  for (auto& word : argv) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  for (auto _ : state) {
    pid_t pid = 0;
    if (posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ) != 0) {
      state.SkipWithError("spawn failed");
      break;
    }
    int status = 0;
    waitpid(pid, &status, 0);
  }
  posix_spawn_file_actions_destroy(&actions);
}

void BM_BinTrue(benchmark::State& state) {
  spawnAndWait(state, {"/bin/true"});
}
void BM_GlimmetVersion(benchmark::State& state) {
  spawnAndWait(state, {GLIMMET_BINARY, "version"});
}
void BM_GlimmetHelp(benchmark::State& state) {
  spawnAndWait(state, {GLIMMET_BINARY, "--help"});
}

BENCHMARK(BM_BinTrue)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GlimmetVersion)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GlimmetHelp)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
