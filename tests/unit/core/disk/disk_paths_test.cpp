// Rule templates: ~ and the cache tokens, each following its variable only when
// that variable is an absolute path.
#include "core/disk/disk_paths.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

Environment vars(std::initializer_list<std::pair<std::string, std::string>> pairs) {
  Environment environment;
  for (const auto& [name, value] : pairs) environment = environment.with(name, value);
  return environment;
}

TEST(DiskPaths, NormalDropsDotComponentsDoubledAndTrailingSlashes) {
  EXPECT_EQ(disk_path::normal("/home/me/Dev"), "/home/me/Dev");
  EXPECT_EQ(disk_path::normal("/home/me/Dev/"), "/home/me/Dev");
  EXPECT_EQ(disk_path::normal("/home//me/./Dev/x/.."), "/home/me/Dev");
  EXPECT_EQ(disk_path::normal("/.."), "/");
  EXPECT_EQ(disk_path::normal("/"), "/");
  EXPECT_EQ(disk_path::normal(""), "");
  EXPECT_EQ(disk_path::normal("Dev/./x"), "Dev/x");
  // Names that only begin or end with dots are names like any other.
  EXPECT_EQ(disk_path::normal("/.cache/..x/x../.../.git"), "/.cache/..x/x../.../.git");
}

TEST(DiskPaths, NormalIsWithinComparesThePathOnceNormal) {
  EXPECT_TRUE(disk_path::normalIsWithin("/home/me/Dev/web", "/home/me/Dev"));
  EXPECT_TRUE(disk_path::normalIsWithin("/home/me/Dev/", "/home/me/Dev"));
  EXPECT_TRUE(disk_path::normalIsWithin("/home/me/x/../Dev//web/.", "/home/me/Dev"));
  EXPECT_FALSE(disk_path::normalIsWithin("/home/me/Dev/../Devices", "/home/me/Dev"));
  EXPECT_FALSE(disk_path::normalIsWithin("/home/me/Devices", "/home/me/Dev"));
}

TEST(DiskPaths, TokensFallBackToTheHomeLayout) {
  const DiskPaths paths("/home/me", Environment());
  EXPECT_EQ(paths.expand("{HF_HUB_CACHE}"), "/home/me/.cache/huggingface/hub");
  EXPECT_EQ(paths.expand("{GOMODCACHE}"), "/home/me/go/pkg/mod");
  EXPECT_EQ(paths.expand("{OLLAMA_MODELS}"), "/home/me/.ollama/models");
  EXPECT_EQ(paths.expand("{CARGO_HOME}/registry"), "/home/me/.cargo/registry");
  EXPECT_EQ(paths.expand("~"), "/home/me");
  EXPECT_EQ(paths.expand("~/.npm/_cacache"), "/home/me/.npm/_cacache");
  // Only a leading "~" or "~/" is the home folder; other text stays as it is.
  EXPECT_EQ(paths.expand("~me/x"), "~me/x");
  EXPECT_EQ(paths.expand("/a/~/b"), "/a/~/b");
  EXPECT_EQ(paths.expand("{UNKNOWN}/{CODEX_HOME}{CODEX_HOME}"),
            "{UNKNOWN}//home/me/.codex/home/me/.codex");
}

TEST(DiskPaths, LaterTokensSeeTheEarlierOnes) {
  const DiskPaths xdg("/home/me", vars({{"XDG_CACHE_HOME", "/var/cache/me/"}}));
  EXPECT_EQ(xdg.expand("{HF_HUB_CACHE}"), "/var/cache/me/huggingface/hub");
  const DiskPaths hf("/home/me", vars({{"XDG_CACHE_HOME", "/x"}, {"HF_HOME", "/models"}}));
  EXPECT_EQ(hf.expand("{HF_HUB_CACHE}"), "/models/hub");
}

TEST(DiskPaths, IgnoresRelativeAndBlankValuesAndNormalisesAbsoluteOnes) {
  for (const char* value : {"models/hf", "   ", "", "~/hf"}) {
    const DiskPaths paths("/home/me", vars({{"HF_HOME", value}}));
    EXPECT_EQ(paths.token("HF_HOME"), "/home/me/.cache/huggingface") << value;
  }
  const DiskPaths spaced("/home/me", vars({{"CARGO_HOME", "  /opt/./cargo/../rust\n"}}));
  EXPECT_EQ(spaced.token("CARGO_HOME"), "/opt/rust");
}

TEST(DiskPaths, GoModulesFollowTheFirstAbsoluteGopathEntry) {
  EXPECT_EQ(DiskPaths("/h", vars({{"GOPATH", "::/work/go:/other"}})).token("GOMODCACHE"),
            "/work/go/pkg/mod");
  EXPECT_EQ(DiskPaths("/h", vars({{"GOPATH", "rel:/work/go"}})).token("GOMODCACHE"),
            "/h/go/pkg/mod");
  EXPECT_EQ(DiskPaths("/h", vars({{"GOPATH", "/g"}, {"GOMODCACHE", "/mods"}})).token("GOMODCACHE"),
            "/mods");
}

}  // namespace
}  // namespace glimmet
