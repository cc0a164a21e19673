// One walk per scan, seen from the outside: the real binary scans a fixture
// home under strace, and no entry below that home is stat'ed twice and no
// folder opened twice, whatever nests in what (items inside the folders
// whose totals feed the context, hard links shared between items, a linked
// worktree beside its repository, the Trash, a folder left out).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "support/isolated_home.h"
#include "support/run_process.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;

void files(const testing::TempDir& dir, const std::string& folder, int count, size_t bytes) {
  for (int i = 0; i < count; ++i)
    dir.write(folder + "/f" + std::to_string(i),
              std::string(bytes * static_cast<size_t>(i + 1), 'x'));
}

fs::path fixture(const testing::IsolatedHome& home) {
  const auto& dir = home.dir();
  dir.write("fx/Dev/web/.git/HEAD", "ref: refs/heads/main\n");
  dir.write("fx/Dev/web/package.json", "{}");
  files(dir, "fx/Dev/web/src", 5, 100);
  files(dir, "fx/Dev/web/node_modules/left-pad", 5, 300);
  files(dir, "fx/Dev/web/node_modules/.cache/babel", 3, 100);
  files(dir, "fx/Dev/web/.next/cache", 4, 2000);
  dir.write("fx/Dev/api/.git/HEAD", "ref: refs/heads/main\n");
  dir.write("fx/Dev/api/Cargo.toml", "[package]\n");
  files(dir, "fx/Dev/api/target/debug/deps", 6, 5000);
  // A linked worktree of api, as git leaves one.
  dir.write("fx/Dev/api/.git/worktrees/api-fix/gitdir",
            (home.root() / "fx/Dev/api-fix/.git").string() + "\n");
  dir.write("fx/Dev/api/.git/worktrees/api-fix/commondir", "../..\n");
  dir.write("fx/Dev/api-fix/.git",
            "gitdir: " + (home.root() / "fx/Dev/api/.git/worktrees/api-fix").string() + "\n");
  dir.write("fx/Dev/api-fix/Cargo.toml", "[package]\n");
  files(dir, "fx/Dev/api-fix/target/debug", 3, 4000);
  files(dir, "fx/.cache/pip/http", 4, 1000);
  files(dir, "fx/.npm/_cacache/index", 4, 700);
  files(dir, "fx/Documents/notes", 10, 50);
  files(dir, "fx/.local/share/Trash/files", 2, 9000);
  files(dir, "fx/Pictures", 2, 10);
  dir.write("fx/.bashrc", "export A=1\n");
  const auto root = home.root() / "fx";
  // The same file in two items and in the user's own files.
  fs::create_hard_link(root / "Dev/web/node_modules/left-pad/f0", root / "Dev/api/target/shared");
  fs::create_hard_link(root / "Dev/web/node_modules/left-pad/f0", root / "Documents/shared");
  fs::create_symlink("/usr", root / "Dev/web/usr-link");
  return root;
}

struct Calls {
  std::map<std::string, int> stats;       // path -> lstat-class calls by path
  std::map<std::string, int> openedDirs;  // folder -> opens
  int lines = 0;
};

// strace -y names each descriptor's path, so calls relative to an open folder
// resolve to whole paths.
Calls parse(const fs::path& trace, const std::string& below) {
  static const std::regex call(
      R"((newfstatat|fstatat64|statx|lstat|stat|openat|open)\((?:(-?\d+)<([^>]*)>|AT_FDCWD)?,?\s*\"([^\"]+)\"(.*))");
  Calls calls;
  std::ifstream in(trace);
  for (std::string line; std::getline(in, line);) {
    ++calls.lines;
    std::smatch match;
    if (!std::regex_search(line, match, call)) continue;
    if (line.find("ENOENT") != std::string::npos)
      continue;  // asking after a path isn't meeting an entry
    const std::string name = match[4];
    const std::string path = name.starts_with('/') ? name : std::string(match[3]) + "/" + name;
    if (!path.starts_with(below)) continue;
    if (match[1].str().starts_with("open")) {
      if (match[5].str().find("O_DIRECTORY") != std::string::npos) ++calls.openedDirs[path];
    } else {
      ++calls.stats[path];
    }
  }
  return calls;
}

TEST(DiskScanCalls, EveryEntryBelowTheHomeIsStatedOnceAndEveryFolderListedOnce) {
  if (::access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "strace isn't installed";
  testing::IsolatedHome home;
  const auto root = fixture(home);
  const auto trace = home.root() / "trace.txt";
  const auto result = testing::runProcess(
      {"/usr/bin/strace", "-f", "-y", "-qq", "-o", trace.string(), "-e",
       "trace=newfstatat,statx,lstat,stat,openat,open", GLIMMET_BINARY, "disk", "scan", "--home",
       root.string(), "--json"},
      // LeakSanitizer can't run under ptrace; the other sanitizers can.
      home.environment().without("XDG_CACHE_HOME").with("ASAN_OPTIONS", "detect_leaks=0"));
  if (result.status != 0 && result.err.find("ptrace") != std::string::npos)
    GTEST_SKIP() << "strace can't trace here: " << result.err;
  ASSERT_EQ(result.status, 0) << result.err;

  const auto document = nlohmann::json::parse(result.out);
  std::set<std::string> ids;
  for (const auto& item : document["items"]) ids.insert(item["id"].get<std::string>());
  for (const char* id : {"~/Dev/web/node_modules#node-modules-active",
                         "~/Dev/web/.next#next-build-active", "~/Dev/api/target#rust-target-active",
                         "~/.cache/pip#pip-cache", "~/Dev/api-fix#git-worktree"})
    EXPECT_TRUE(ids.count(id)) << id << " missing from " << result.out;

  // What the one walk counts is what the files take on disk: each inode once.
  auto allocated = [](const fs::path& folder) {
    std::set<std::pair<dev_t, ino_t>> seen;
    uint64_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      struct stat info {};
      if (::lstat(entry.path().c_str(), &info) != 0 || S_ISDIR(info.st_mode)) continue;
      if (seen.insert({info.st_dev, info.st_ino}).second)
        bytes += static_cast<uint64_t>(info.st_blocks) * 512;
    }
    return bytes;
  };
  for (const auto& item : document["items"]) {
    const auto path = root.string() + item["path"].get<std::string>().substr(1);  // "~/..."
    EXPECT_EQ(item["bytes"].get<uint64_t>(), allocated(path)) << path;
  }

  const auto calls = parse(trace, root.string() + "/");
  int counted = 0;
  for (const auto& [path, count] : calls.stats) {
    EXPECT_EQ(count, 1) << path << " stat'ed " << count << " times";
    counted += count;
  }
  for (const auto& [path, count] : calls.openedDirs)
    EXPECT_EQ(count, 1) << path << " opened " << count << " times";
  // The trace was read: every file of the fixture was met.
  EXPECT_GE(counted, 50) << calls.lines << " lines traced";
  EXPECT_TRUE(calls.openedDirs.count(root.string() + "/Dev/web/node_modules/left-pad"));
  EXPECT_FALSE(calls.openedDirs.count(root.string() + "/Pictures"));  // never walked
}

}  // namespace
}  // namespace glimmet
