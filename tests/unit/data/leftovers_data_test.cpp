// The shipped leftovers.json: it loads and validates, and every rule says what
// it finds and how it is cleaned in a way a user can act on.
#include <gtest/gtest.h>

#include <set>

#include "core/disk/leftover_rules.h"
#include "platform/files.h"

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

}  // namespace
}  // namespace glimmet
