// `glimmet disk scan` as a user meets it, the whole process from spawn to
// exit, beside `du -s -B1` of the same tree in the same rounds (the two take
// turns, so load on the machine falls on both alike):
//   warm   the page cache holds the tree;
//   cold   the page cache is dropped before every run (needs root; said when not),
//          with how busy the CPUs and the disk were while each tool ran;
//   full   `disk scan` of the same home as $HOME, with the process snapshot,
//          the Docker query and the tools asked where their caches are;
//   large  1,000,000 files, to see time grow with the tree, with peak memory.
// With --walkers N, glimmet runs with disk.maxWalkers N instead of its default.
// Usage: glimmet_disk_scan_bench [--rounds N] [--root DIR] [--large] [--walkers N]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "machine_load.h"
#include "timed_run.h"

namespace fs = std::filesystem;

namespace {

// The run's own variables first, then the rest of ours.
std::vector<std::string> environmentWith(const std::vector<std::string>& extraEnvironment) {
  std::vector<std::string> environment(extraEnvironment);
  for (char** entry = environ; *entry; ++entry) {
    const std::string text(*entry);
    const auto name = text.substr(0, text.find('=') + 1);
    if (std::none_of(extraEnvironment.begin(), extraEnvironment.end(),
                     [&](const std::string& e) { return e.starts_with(name); }))
      environment.push_back(text);
  }
  return environment;
}

glimmet::bench::TimedRun timed(std::vector<std::string> argv,
                               const std::vector<std::string>& extraEnvironment = {}) {
  auto environment = environmentWith(extraEnvironment);
  std::vector<char*> env;
  for (auto& entry : environment) env.push_back(entry.data());
  env.push_back(nullptr);
  return glimmet::bench::timedRun(std::move(argv), env.data());
}

void writeFile(const fs::path& path, size_t bytes) {
  std::ofstream(path) << std::string(bytes, 'x');
}

// A developer's home: projects with a repository, sources, node_modules and
// build output; tool caches; documents. `scale` 1 gives 20,000 folders and
// about 200,000 files.
void buildHome(const fs::path& home, int scale) {
  if (fs::exists(home / ".complete")) return;
  fs::remove_all(home);
  std::fprintf(stderr, "building %s ...\n", home.c_str());
  for (int p = 0; p < 100 * scale; ++p) {
    const auto project = home / "Dev" / ("p" + std::to_string(p));
    fs::create_directories(project / ".git");
    writeFile(project / ".git" / "HEAD", 23);
    writeFile(project / ".git" / "config", 92);
    writeFile(project / "package.json", 300);
    auto fill = [&](const fs::path& base, int folders, int files) {
      for (int f = 0; f < folders; ++f) {
        const auto folder = base / ("d" + std::to_string(f));
        fs::create_directories(folder);
        for (int i = 0; i < files; ++i) writeFile(folder / ("f" + std::to_string(i)), 40 * i);
      }
    };
    fill(project / "src", 10, 10);
    fill(project / "node_modules", 80, 10);
    fill(project / ".next", 6, 10);
  }
  for (int c = 0; c < 50 * scale; ++c) {
    const auto cache = home / ".cache" / ("tool" + std::to_string(c));
    for (int f = 0; f < 100; ++f) {
      fs::create_directories(cache / ("d" + std::to_string(f)));
      for (int i = 0; i < 10; ++i)
        writeFile(cache / ("d" + std::to_string(f)) / ("f" + std::to_string(i)), 100);
    }
  }
  for (int d = 0; d < 50 * scale; ++d)
    for (int f = 0; f < 100; ++f) {
      const auto folder =
          home / "Documents" / ("d" + std::to_string(d)) / ("e" + std::to_string(f));
      fs::create_directories(folder);
      for (int i = 0; i < 11; ++i) writeFile(folder / ("f" + std::to_string(i)), 500);
    }
  fs::create_directories(home / ".npm" / "_cacache");
  writeFile(home / ".complete", 0);
}

bool dropPageCache() {
  ::sync();
  std::ofstream drop("/proc/sys/vm/drop_caches");
  drop << "3\n";
  drop.flush();
  return drop.good();
}

using glimmet::bench::median;

struct Pair {
  std::vector<double> ours, peer;
  long peakKB = 0;
  glimmet::bench::LoadTally ourLoad, peerLoad;
};

// One run, with what the CPUs and the disk did meanwhile.
glimmet::bench::TimedRun timedWithLoad(const std::vector<std::string>& argv,
                                       const std::vector<std::string>& environment,
                                       const std::string& blockStat,
                                       glimmet::bench::LoadTally& load) {
  const auto before = glimmet::bench::readCounters(blockStat);
  const auto run = timed(argv, environment);
  load.add(before, glimmet::bench::readCounters(blockStat), run.milliseconds);
  return run;
}

template <typename Before>
Pair paired(int rounds, const std::vector<std::string>& ours, const std::vector<std::string>& peer,
            const std::vector<std::string>& environment, const std::string& blockStat,
            Before before) {
  Pair pair;
  for (int round = 0; round < rounds; ++round) {
    before();
    const auto peerRun = timedWithLoad(peer, {}, blockStat, pair.peerLoad);
    before();
    const auto ourRun = timedWithLoad(ours, environment, blockStat, pair.ourLoad);
    pair.peer.push_back(peerRun.milliseconds);
    pair.ours.push_back(ourRun.milliseconds);
    pair.peakKB = std::max(pair.peakKB, ourRun.peakKiB);
  }
  return pair;
}

// Beside the ratio of the medians, the median of each round's own ratio: the
// machine's speed drifts between rounds far more than within one, and a
// round's two runs share its moment.
void report(const char* name, const Pair& pair) {
  const double ours = median(pair.ours), peer = median(pair.peer);
  std::vector<double> rounds;
  for (size_t i = 0; i < pair.ours.size(); ++i) rounds.push_back(pair.ours[i] / pair.peer[i]);
  std::printf(
      "%-34s glimmet %8.1f ms   peer %8.1f ms   ratio %.2f   by round %.2f   peak RSS %.1f MB\n",
      name, ours, peer, ours / peer, median(rounds), pair.peakKB / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 11;
  fs::path root = fs::temp_directory_path() / "glimmet-disk-scan-bench";
  bool large = false;
  int walkers = 0;  ///< 0: the default
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--rounds" && i + 1 < argc)
      rounds = std::stoi(argv[++i]);
    else if (arg == "--root" && i + 1 < argc)
      root = argv[++i];
    else if (arg == "--large")
      large = true;
    else if (arg == "--walkers" && i + 1 < argc)
      walkers = std::stoi(argv[++i]);
  }
  const std::string glimmet = GLIMMET_BINARY;
  const auto home = root / "home";
  buildHome(home, 1);
  // Another walker count gets a data folder of its own, so the setting never
  // stays behind for the default runs.
  const auto shared =
      walkers ? root / ("shared-walkers-" + std::to_string(walkers)) : root / "shared";
  fs::create_directories(shared / "Glimmet");
  if (walkers) {
    std::ofstream(shared / "Glimmet" / "settings.json")
        << "{\"disk\": {\"maxWalkers\": " << walkers << "}}\n";
    std::printf("with disk.maxWalkers %d\n", walkers);
  }
  const std::vector<std::string> environment = {
      "HOME=" + home.string(), "XDG_DATA_HOME=" + shared.string(),
      "XDG_CONFIG_HOME=" + (root / "config").string(),
      "XDG_CACHE_HOME=" + (root / "cache").string(), "XDG_STATE_HOME=" + (root / "state").string()};
  const std::vector<std::string> du = {"/usr/bin/du", "-s", "-B1", home.string()};
  const std::vector<std::string> scanHome = {glimmet,  "disk",        "scan",
                                             "--home", home.string(), "--json"};
  const std::vector<std::string> scanFull = {glimmet, "disk", "scan", "--json"};
  const auto blockStat = glimmet::bench::blockStatFile(home.string());
  auto nothing = [] {};

  timed(du);  // warm the cache
  report("warm: disk scan --home vs du",
         paired(rounds, scanHome, du, environment, blockStat, nothing));
  if (dropPageCache()) {
    const auto cold = paired(std::max(3, rounds / 2), scanHome, du, environment, blockStat,
                             [] { dropPageCache(); });
    report("cold: disk scan --home vs du", cold);
    // Both partly idle means the walk is bound by how many reads it keeps in
    // flight (disk.maxWalkers), not by the CPUs or the disk.
    std::printf("cold, while each ran: glimmet %s; du %s\n", cold.ourLoad.describe().c_str(),
                cold.peerLoad.describe().c_str());
    timed(du);
  } else {
    std::printf("cold: skipped, the page cache can't be dropped here (needs root)\n");
  }
  const auto homeRuns = paired(rounds, scanHome, du, environment, blockStat, nothing);
  // Every full scan asks the login shell and npm (the fixture has ~/.npm).
  const auto fullRuns = paired(rounds, scanFull, du, environment, blockStat, nothing);
  report("full: disk scan vs du", fullRuns);
  std::printf("full / --home: %.2f\n", median(fullRuns.ours) / median(homeRuns.ours));

  if (large) {
    const auto bigHome = root / "home-large";
    buildHome(bigHome, 5);
    const std::vector<std::string> bigDu = {"/usr/bin/du", "-s", "-B1", bigHome.string()};
    timed(bigDu);
    const auto big = paired(std::max(3, rounds / 2),
                            {glimmet, "disk", "scan", "--home", bigHome.string(), "--json"}, bigDu,
                            environment, blockStat, nothing);
    report("large (1,000,000 files): --home vs du", big);
    std::printf("large / 200,000 files: %.2f (5x the files)\n",
                median(big.ours) / median(homeRuns.ours));
  }
  return 0;
}
