// The shipped leftovers.json: it loads and validates, and every rule says what
// it finds and how it is cleaned in a way a user can act on.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <set>

#include "core/disk/disk_paths.h"
#include "core/disk/disk_scanner.h"
#include "core/disk/leftover_rules.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace glimmet {
namespace {

const LeftoverRuleSet& shipped() {
  static const LeftoverRuleSet set = [] {
    const auto bytes =
        platform::readFile(std::string(GLIMMET_SOURCE_DIR) + "/data/leftovers.json", 1 << 24);
    if (!bytes) throw std::runtime_error("data/leftovers.json is missing");
    return LeftoverRuleSet::load(*bytes);
  }();
  return set;
}

TEST(ShippedLeftovers, LoadsAndEveryRuleIsComplete) {
  const auto& set = shipped();
  EXPECT_GE(set.version, 1);
  for (const auto& rule : set.rules) {
    SCOPED_TRACE(rule.id);
    EXPECT_FALSE(rule.label.empty());
    EXPECT_FALSE(rule.tool.empty());
    EXPECT_TRUE(rule.ifRemoved.ends_with('.'));
    for (const auto& path : rule.paths)
      EXPECT_TRUE(path.starts_with("~/") || path.starts_with("{")) << path;
    // A tool's name guards shared caches only: any python3 on the machine
    // must not block every project's .venv.
    if (rule.match == LeftoverRule::Match::project) {
      EXPECT_TRUE(rule.blockedWhileRunning.empty());
    }
    // A command that asks its own questions must be offered for a terminal.
    if (rule.clean.argv && rule.clean.argv->front() == "docker") {
      EXPECT_TRUE(rule.clean.terminalOnly.value_or(false));
    }
  }
  for (const auto id : {rule_ids::gitWorktree, rule_ids::gitWorktreeStale, rule_ids::appCaches})
    EXPECT_NE(set.rule(id), nullptr) << id;
}

TEST(ShippedLeftovers, CoversWhatDevelopersAccumulate) {
  std::set<std::string> names, paths;
  std::set<DockerKind> dockerKinds;
  for (const auto& rule : shipped().rules) {
    names.insert(rule.names.begin(), rule.names.end());
    paths.insert(rule.paths.begin(), rule.paths.end());
    if (rule.dockerKind) dockerKinds.insert(*rule.dockerKind);
  }
  for (const char* name :
       {".next", ".nuxt", ".svelte-kit", "dist", "build", "target", ".turbo", ".parcel-cache",
        ".gradle", "__pycache__", ".pytest_cache", ".mypy_cache", ".tox", ".venv", "node_modules"})
    EXPECT_TRUE(names.count(name)) << name;
  for (const char* path :
       {"~/.npm/_cacache", "~/.local/share/pnpm/store", "{XDG_CACHE_HOME}/yarn",
        "~/.bun/install/cache", "{XDG_CACHE_HOME}/pip", "{XDG_CACHE_HOME}/uv",
        "{XDG_CACHE_HOME}/pypoetry", "{CARGO_HOME}/registry", "{GOMODCACHE}", "~/.m2/repository",
        "~/.gradle/caches", "{XDG_CACHE_HOME}/Homebrew", "{HF_HUB_CACHE}", "{OLLAMA_MODELS}",
        "{XDG_CACHE_HOME}/ms-playwright", "{CLAUDE_CONFIG_DIR}/projects", "{CODEX_HOME}/sessions",
        "~/Library/Caches/pip"})
    EXPECT_TRUE(paths.count(path)) << path;
  EXPECT_EQ(dockerKinds.size(), 4u);
}

void makeOld(const std::filesystem::path& path) {
  const auto when = std::chrono::system_clock::now() - std::chrono::hours(24 * 100);
  const timespec time{std::chrono::system_clock::to_time_t(when), 0};
  const timespec times[2] = {time, time};
  ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// Lays out what each rule looks for in a fixture home and scans it: every rule
// that finds folders must find its own.
TEST(ShippedLeftovers, EveryRuleFindsItsFolderInAFixtureHome) {
  testing::TempDir dir;
  const auto home = dir.path().string();
  const DiskPaths paths(home, Environment());
  const auto write = [&](const std::string& path) {
    const auto file = std::filesystem::path(path) / "content.bin";
    std::filesystem::create_directories(file.parent_path());
    platform::appendToFile(file, std::string(4096, 'x'));
    return file;
  };
  std::set<std::string> expected;
  for (const auto& rule : shipped().rules) {
    using Match = LeftoverRule::Match;
    if (rule.match == Match::docker || rule.match == Match::worktree) continue;
    // macOS-only locations find nothing on Linux and aren't laid out here.
    if (!rule.paths.empty() && rule.paths.front().starts_with("~/Library")) continue;
    expected.insert(rule.id);
    if (rule.match == Match::path) {
      write(paths.expand(rule.paths.front()));
    } else if (rule.match == Match::children) {
      std::string child = paths.expand(rule.paths.front());
      for (int64_t level = 0; level < rule.childDepth.value_or(1); ++level)
        child += "/" + rule.childPrefix.value_or("") + "child";
      const auto file = write(child);
      if (rule.olderThan) makeOld(file);
    } else {
      auto project = home + "/projects/" + rule.id;
      if (!rule.inside.empty()) project += "/" + rule.inside.front();
      std::filesystem::create_directories(project + "/.git");
      if (!rule.siblings.empty()) write(project + "/" + rule.siblings.front());
      write(project + "/" +
            (rule.names.empty() ? rule.namePrefixes.front() + "x" : rule.names.front()));
    }
  }
  DiskScanOptions options;
  options.home = home;
  options.minimumProjectItemBytes = 0;
  options.now = std::chrono::system_clock::now();
  const auto result = scanDisk(shipped(), options, [] { return LiveState{}; });
  std::set<std::string> found;
  for (const auto& item : result.items) {
    const auto* rule = shipped().rule(item.ruleID);
    ASSERT_NE(rule, nullptr) << item.ruleID;
    found.insert(rule->id);
  }
  for (const auto& id : expected) EXPECT_TRUE(found.count(id)) << id;
  EXPECT_TRUE(result.complete);
}

}  // namespace
}  // namespace glimmet
