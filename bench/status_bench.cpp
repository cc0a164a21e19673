// `glimmet status --json` on this machine as it is, plus five stand-in agent
// sessions (a process named claude with three children each), timed beside
// `ps -e` in the same run. The sessions are children of this benchmark, killed
// when it ends. Status gathers the whole survey: snapshot, sockets, dev servers,
// ghosts and sessions.
// Run: build/release/bench/glimmet_status_bench --benchmark_repetitions=10
//      --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <string_view>
#include <vector>

#include "spawn_and_wait.h"

namespace {

using glimmet::bench::spawnAndWait;

// Runs this benchmark binary again under `name`, sleeping until killed.
[[noreturn]] void execSleeper(const char* name) {
  char sleepWord[] = "sleep-forever";
  char* argv[] = {const_cast<char*>(name), sleepWord, nullptr};
  execv("/proc/self/exe", argv);
  _exit(1);
}

// Five agents, each with three children, for as long as the run lasts.
class SessionFarm {
 public:
  SessionFarm() {
    setenv("GLIMMET_SIGNATURES", GLIMMET_SIGNATURES_FILE, 1);
    for (int i = 0; i < 5; ++i) {
      const pid_t agent = fork();
      if (agent == 0) {
        setpgid(0, 0);
        for (int j = 0; j < 3; ++j)
          if (fork() == 0) execSleeper("vitest");
        execSleeper("claude");
      }
      agents_.push_back(agent);
    }
  }
  ~SessionFarm() {
    for (const pid_t agent : agents_) kill(-agent, SIGKILL);
  }

 private:
  std::vector<pid_t> agents_;
};

SessionFarm& farm() {
  static SessionFarm sessions;
  return sessions;
}

void BM_GlimmetStatusJson(benchmark::State& state) {
  farm();
  spawnAndWait(state, {GLIMMET_BINARY, "status", "--json"});
}
void BM_PsEveryProcess(benchmark::State& state) {
  farm();
  spawnAndWait(state, {"/bin/ps", "-e"});
}

}  // namespace

BENCHMARK(BM_GlimmetStatusJson)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PsEveryProcess)->Unit(benchmark::kMillisecond);
int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "sleep-forever")
    while (true) pause();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
