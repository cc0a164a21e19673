// Times `glimmet version` and `glimmet --help` against /bin/true, spawned the
// same way in the same run, so the difference is the tool's own start-up cost.
// Run: build/release/bench/glimmet_startup_bench --benchmark_repetitions=20
//      --benchmark_report_aggregates_only=true
#include "spawn_and_wait.h"

namespace {

using glimmet::bench::spawnAndWait;

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
