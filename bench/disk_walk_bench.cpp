// Measuring a tree of 200,000 files in 20,000 folders (warm cache) beside
// `du -s -B1` of the same tree in the same iteration, with 1, 2 and 4 walkers;
// and `glimmet disk scan --home` over a fixture home of 50 projects, at two
// file counts, with the child's peak RSS (memory must not follow file count).
// Run: build/release/bench/glimmet_disk_walk_bench --benchmark_repetitions=5
//      --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/disk/disk_walker.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path scratch(const char* name) {
  std::string pattern = std::string("/tmp/glimmet-") + name + "-XXXXXX";
  return fs::path(::mkdtemp(pattern.data()));
}

void writeFile(const fs::path& path, size_t bytes) {
  std::ofstream(path) << std::string(bytes, 'x');
}

// Removed at exit: the benchmark's own scratch folders only.
class Scratch {
 public:
  explicit Scratch(const char* name) : root_(scratch(name)) {}
  ~Scratch() {
    std::error_code error;
    fs::remove_all(root_, error);
  }
  const fs::path& root() const { return root_; }

 private:
  fs::path root_;
};

// 20 x 20 x 50 folders of 10 files each, sizes 0 to 9 KB.
const fs::path& bigTree() {
  static const Scratch tree("walk-bench");
  static const bool built = [] {
    for (int a = 0; a < 20; ++a)
      for (int b = 0; b < 20; ++b)
        for (int c = 0; c < 50; ++c) {
          const auto folder = tree.root() / ("a" + std::to_string(a)) / ("b" + std::to_string(b)) /
                              ("c" + std::to_string(c));
          fs::create_directories(folder);
          for (int f = 0; f < 10; ++f)
            writeFile(folder / ("file" + std::to_string(f)), static_cast<size_t>(f) * 1000);
        }
    return true;
  }();
  (void)built;
  return tree.root();
}

struct Child {
  int status = -1;
  long peakKiB = 0;
  double seconds = 0;
  std::string out;
};

Child run(std::vector<std::string> argv) {
  std::vector<char*> pointers;
  for (auto& word : argv) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  char outPattern[] = "/tmp/glimmet-walk-bench-out-XXXXXX";
  const int outFd = ::mkstemp(outPattern);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  Child child;
  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ) == 0) {
    rusage usage{};
    ::wait4(pid, &child.status, 0, &usage);
    child.peakKiB = usage.ru_maxrss;
  }
  child.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  ::close(outFd);
  std::ifstream in(outPattern);
  std::getline(in, child.out);
  ::unlink(outPattern);
  return child;
}

// Per iteration: du, then measure() with the walkers asked for; the time
// reported is measure()'s, with du's and the ratio beside it.
void measureBesideDu(benchmark::State& state) {
  const auto& tree = bigTree();
  const auto walkers = static_cast<size_t>(state.range(0));
  const auto cancel = glimmet::CancelFlag::make();
  (void)glimmet::measure(tree, *cancel, walkers);  // warm the cache
  double duSeconds = 0, ourSeconds = 0;
  bool agrees = true;
  for (auto _ : state) {
    const auto du = run({"/usr/bin/du", "-s", "-B1", tree.string()});
    const auto start = Clock::now();
    const auto measurement = glimmet::measure(tree, *cancel, walkers);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(seconds);
    duSeconds += du.seconds;
    ourSeconds += seconds;
    // du also counts the 20,421 folders themselves (4 KiB each on ext4).
    agrees = agrees && measurement.files == 200'000 && du.status == 0;
    state.counters["bytes"] = static_cast<double>(measurement.bytes);
    state.counters["duBytes"] = std::stod(du.out);
  }
  state.counters["du_ms"] = duSeconds * 1000 / static_cast<double>(state.iterations());
  state.counters["ratio"] = ourSeconds / duSeconds;
  if (!agrees) state.SkipWithError("the walk missed files or du failed");
}
BENCHMARK(measureBesideDu)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

// 50 projects, each a git repository with node_modules, a build folder and
// sources; `scale` multiplies the files in each.
fs::path fixtureHome(const fs::path& root, int scale) {
  const auto home = root / ("home-" + std::to_string(scale));
  for (int p = 0; p < 50; ++p) {
    const auto project = home / "Dev" / ("project-" + std::to_string(p));
    fs::create_directories(project / ".git");
    std::ofstream(project / ".git/HEAD") << "ref: refs/heads/main\n";
    std::ofstream(project / "package.json") << "{}";
    for (int m = 0; m < 20 * scale; ++m) {
      const auto module = project / "node_modules" / ("pkg-" + std::to_string(m));
      fs::create_directories(module);
      for (int f = 0; f < 10; ++f) writeFile(module / ("f" + std::to_string(f) + ".js"), 300);
    }
    fs::create_directories(project / "dist");
    for (int f = 0; f < 20 * scale; ++f) writeFile(project / "dist" / std::to_string(f), 2000);
    fs::create_directories(project / "src");
    for (int f = 0; f < 20 * scale; ++f) writeFile(project / "src" / std::to_string(f), 500);
  }
  return home;
}

void scanFixtureHome(benchmark::State& state) {
  static const Scratch root("scan-bench");
  static std::map<int, fs::path> homes;
  const int scale = static_cast<int>(state.range(0));
  if (!homes.count(scale)) homes[scale] = fixtureHome(root.root(), scale);
  long peakKiB = 0;
  for (auto _ : state) {
    const auto child =
        run({GLIMMET_BINARY, "disk", "scan", "--home", homes[scale].string(), "--json"});
    if (child.status != 0) state.SkipWithError("disk scan failed");
    state.SetIterationTime(child.seconds);
    peakKiB = std::max(peakKiB, child.peakKiB);
  }
  state.counters["files"] = 50.0 * (240 * scale + 2);
  state.counters["childPeakRssKiB"] = static_cast<double>(peakKiB);
}
BENCHMARK(scanFixtureHome)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
