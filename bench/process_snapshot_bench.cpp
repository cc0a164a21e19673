// A full detailed snapshot and the listening sockets with their owners, timed
// beside the system tools that show the same things, in the same run:
//   ps -e -o pid,ppid,pgid,uid,stat,lstart,args     (the snapshot)
//   ss -ltnp, and lsof -nP -iTCP -sTCP:LISTEN        (listeners with owners)
// The scale case adds 2,000 sleeping processes of our own and reports the peak
// resident size of this process.
// Run: build/release/bench/glimmet_process_snapshot_bench --benchmark_repetitions=10
//      --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "core/ports/socket_scanner.h"
#include "core/process/process_enumerator.h"
#include "sleepers.h"
#include "spawn_and_wait.h"

namespace {

using glimmet::bench::spawnAndWait;

void snapshotOnce(benchmark::State& state) {
  for (auto _ : state) {
    // A fresh enumerator each time: a command pays for every argument list once.
    glimmet::ProcessEnumerator enumerator(getuid());
    auto snapshot = enumerator.snapshot(std::chrono::system_clock::now(), true);
    benchmark::DoNotOptimize(snapshot);
    state.counters["processes"] = static_cast<double>(snapshot.size());
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peakRssKiB"] = static_cast<double>(usage.ru_maxrss);
}

void BM_Snapshot(benchmark::State& state) {
  snapshotOnce(state);
}
void BM_Ps(benchmark::State& state) {
  spawnAndWait(state, {"/usr/bin/ps", "-e", "-o", "pid,ppid,pgid,uid,stat,lstart,args"});
}

// The sockets table and one pass over every process's descriptors; the user's
// own listeners are then joined to a snapshot the command has taken anyway.
void BM_ListenersWithOwners(benchmark::State& state) {
  glimmet::ProcessEnumerator enumerator(getuid());
  const auto snapshot = enumerator.snapshot(std::chrono::system_clock::now(), false);
  for (auto _ : state) {
    const glimmet::SocketScanner scanner;
    auto own = scanner.listeningProcesses(snapshot, getuid());
    auto all = scanner.allListeners();
    benchmark::DoNotOptimize(own);
    benchmark::DoNotOptimize(all);
  }
}
void BM_Ss(benchmark::State& state) {
  spawnAndWait(state, {"/usr/bin/ss", "-ltnp"});
}
void BM_Lsof(benchmark::State& state) {
  if (access("/usr/bin/lsof", X_OK) != 0) {
    state.SkipWithError("lsof is not installed");
    return;
  }
  spawnAndWait(state, {"/usr/bin/lsof", "-nP", "-iTCP", "-sTCP:LISTEN"});
}

void BM_SnapshotWith2000Sleepers(benchmark::State& state) {
  const glimmet::bench::Sleepers sleepers(2000);
  snapshotOnce(state);
}
void BM_PsWith2000Sleepers(benchmark::State& state) {
  const glimmet::bench::Sleepers sleepers(2000);
  BM_Ps(state);
}

BENCHMARK(BM_Snapshot)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Ps)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ListenersWithOwners)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Ss)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Lsof)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SnapshotWith2000Sleepers)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PsWith2000Sleepers)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
