// glimmet apps list over 200 fixture app bundles and 5,000 leftover candidates:
// the real command spawned (with the peak resident size of the child), and the
// listing plus leftover matching in process.
// Run: build/release/bench/glimmet_apps_bench --benchmark_repetitions=10
//      --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <plist/plist.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/apps/app_leftover_finder.h"
#include "core/apps/app_lister.h"
#include "platform/apps.h"

namespace {

namespace fs = std::filesystem;

constexpr int kApps = 200;
constexpr int kCandidates = 5000;

void writeFile(const fs::path& path, const std::string& contents) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << contents;
}

std::string infoPlist(int index) {
  plist_t dict = plist_new_dict();
  const auto id = "com.bench.app" + std::to_string(index);
  const auto name = "Bench App " + std::to_string(index);
  plist_dict_set_item(dict, "CFBundleIdentifier", plist_new_string(id.c_str()));
  plist_dict_set_item(dict, "CFBundleName", plist_new_string(name.c_str()));
  plist_dict_set_item(dict, "CFBundleShortVersionString", plist_new_string("1.0"));
  char* bytes = nullptr;
  uint32_t length = 0;
  if (index % 2 == 0)
    plist_to_xml(dict, &bytes, &length);
  else
    plist_to_bin(dict, &bytes, &length);
  std::string encoded(bytes, length);
  free(bytes);
  plist_free(dict);
  return encoded;
}

// One private home, built once per run and removed at exit.
class Fixture {
 public:
  Fixture() {
    char pattern[] = "/tmp/glimmet-apps-bench-XXXXXX";
    root_ = ::mkdtemp(pattern);
    home_ = root_ / "home";
    const auto& home = home_;
    for (int app = 0; app < kApps; ++app) {
      const auto bundle = home / "Applications" / ("Bench App " + std::to_string(app) + ".app");
      writeFile(bundle / "Contents/Info.plist", infoPlist(app));
      for (int file = 0; file < 5; ++file)
        writeFile(bundle / "Contents/Resources" / ("r" + std::to_string(file)),
                  std::string(4096, 'r'));
    }
    const std::vector<fs::path> folders = {home / ".config", home / ".cache", home / ".local/share",
                                           home / ".local/state", home / ".var/app"};
    for (int candidate = 0; candidate < kCandidates; ++candidate) {
      // One in ten names an app by its identifier and one in ten by its name; the
      // rest are strangers. Every (folder, name) pair is distinct.
      const int round = candidate / 10;
      const int app = round % kApps;
      const auto& folder = folders[static_cast<size_t>(round / kApps + candidate) % folders.size()];
      std::string name;
      if (candidate % 10 == 0)
        name = "com.bench.app" + std::to_string(app);
      else if (candidate % 10 == 5)
        name = "BenchApp" + std::to_string(app);
      else
        name = "org.other.tool" + std::to_string(candidate);
      writeFile(folder / name / "data", std::string(512, 'd'));
    }
    fs::create_directories(root_ / "share/applications");
    environment_ = {"HOME=" + home.string(), "XDG_DATA_DIRS=" + (root_ / "share").string(),
                    "PATH=/usr/bin:/bin"};
  }
  ~Fixture() {
    std::error_code error;
    fs::remove_all(root_, error);
  }

  const fs::path& home() const { return home_; }
  std::vector<std::string> environment() const { return environment_; }

 private:
  fs::path root_;
  fs::path home_;
  std::vector<std::string> environment_;
};

const Fixture& fixture() {
  static const Fixture instance;
  return instance;
}

void BM_AppsListCommand(benchmark::State& state) {
  auto environment = fixture().environment();
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv = {GLIMMET_BINARY, "apps", "list"};
  std::vector<char*> args;
  for (auto& word : argv) args.push_back(word.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  long peakKiB = 0;
  for (auto _ : state) {
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) {
      state.SkipWithError("spawn failed");
      break;
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("apps list failed");
    peakKiB = std::max(peakKiB, usage.ru_maxrss);
  }
  posix_spawn_file_actions_destroy(&actions);
  state.counters["childPeakRssKiB"] = static_cast<double>(peakKiB);
}

void BM_AppsListInProcess(benchmark::State& state) {
  auto apps = glimmet::platform::appsEnvironment(
      glimmet::Environment().with("HOME", fixture().home().string()));
  apps.desktopEntryRoots.clear();
  size_t leftovers = 0;
  for (auto _ : state) {
    const glimmet::AppLister lister(apps);
    const auto listing = lister.list();
    const glimmet::AppLeftoverFinder finder(apps, listing);
    leftovers = 0;
    for (const auto& app : listing.apps) leftovers += finder.count(app);
    benchmark::DoNotOptimize(leftovers);
    state.counters["apps"] = static_cast<double>(listing.apps.size());
    state.counters["candidates"] = static_cast<double>(finder.candidates().size());
  }
  state.counters["leftovers"] = static_cast<double>(leftovers);
}

BENCHMARK(BM_AppsListCommand)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AppsListInProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
