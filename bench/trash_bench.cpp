// Moving 1,000 small folders into a fresh XDG Trash: one .trashinfo written
// and synced, then one rename, per item. Timed beside plain renames of the same
// 1,000 folders, which is the floor without the info files.
// Run: build/release/bench/glimmet_trash_bench --benchmark_repetitions=5
//      --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/trash.h"

namespace {

namespace fs = std::filesystem;
constexpr int kItems = 1000;

fs::path makeItems(const fs::path& root) {
  const auto home = root / "home";
  for (int i = 0; i < kItems; ++i) {
    const auto folder = home / ("item-" + std::to_string(i));
    fs::create_directories(folder);
    std::ofstream(folder / "file") << "payload " << i;
  }
  return home;
}

fs::path scratch() {
  char pattern[] = "/tmp/glimmet-trash-bench-XXXXXX";
  return fs::path(::mkdtemp(pattern));
}

void moveThousandToTrash(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    const auto root = scratch();
    const auto home = makeItems(root);
    const glimmet::Environment environment(
        {{"HOME", home.string()}, {"XDG_DATA_HOME", (root / "data").string()}});
    const glimmet::platform::SystemTrash trash(environment);
    const auto now = std::chrono::system_clock::now();
    state.ResumeTiming();
    for (int i = 0; i < kItems; ++i)
      benchmark::DoNotOptimize(trash.moveToTrash(home / ("item-" + std::to_string(i)), now));
    state.PauseTiming();
    fs::remove_all(root);  // the benchmark's own scratch folder
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(moveThousandToTrash)->Unit(benchmark::kMillisecond)->UseRealTime();

void renameThousand(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    const auto root = scratch();
    const auto home = makeItems(root);
    fs::create_directories(root / "moved");
    state.ResumeTiming();
    for (int i = 0; i < kItems; ++i) {
      const auto name = "item-" + std::to_string(i);
      fs::rename(home / name, root / "moved" / name);
    }
    state.PauseTiming();
    fs::remove_all(root);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(renameThousand)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
