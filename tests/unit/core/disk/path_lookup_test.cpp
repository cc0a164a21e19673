// Asking tools where their caches are: the queries, what of their output is a
// folder, and real (fake) tools that answer, fail or print nothing useful.
#include "core/disk/path_lookup.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace glimmet {
namespace {

class FolderLocator : public ToolLocator {
 public:
  explicit FolderLocator(std::filesystem::path folder) : folder_(std::move(folder)) {}
  std::optional<std::string> locate(const std::string& name) const override {
    const auto path = folder_ / name;
    if (std::filesystem::exists(path)) return path.string();
    return std::nullopt;
  }

 private:
  std::filesystem::path folder_;
};

TEST(PathLookup, EachLookupRunsItsToolsOwnQuery) {
  const auto npm = toolQuery(PathLookup::npmConfigCache);
  EXPECT_EQ(npm.program, "npm");
  EXPECT_EQ(npm.arguments, (std::vector<std::string>{"config", "get", "cache"}));
  EXPECT_EQ(npm.subfolder, "_cacache");
  EXPECT_EQ(toolQuery(PathLookup::pnpmStorePath).arguments,
            (std::vector<std::string>{"store", "path"}));
  EXPECT_EQ(toolQuery(PathLookup::goEnvGomodcache).arguments,
            (std::vector<std::string>{"env", "GOMODCACHE"}));
  EXPECT_EQ(toolQuery(PathLookup::uvCacheDir).program, "uv");
  EXPECT_EQ(PathLookupRunner::programs(), (std::vector<std::string>{"pnpm", "go", "uv", "npm"}));
}

TEST(PathLookup, OnlyAnAbsoluteFirstLineIsAFolder) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(folderFromQueryOutput(Lines{"  /home/me/.cache/uv \r", "ignored"}),
            "/home/me/.cache/uv");
  EXPECT_EQ(folderFromQueryOutput(Lines{"/with spaces/inside"}), "/with spaces/inside");
  EXPECT_EQ(folderFromQueryOutput(Lines{}), std::nullopt);
  EXPECT_EQ(folderFromQueryOutput(Lines{""}), std::nullopt);
  EXPECT_EQ(folderFromQueryOutput(Lines{"undefined"}), std::nullopt);
  EXPECT_EQ(folderFromQueryOutput(Lines{"npm warn config: old setting", "/home/me/.npm"}),
            std::nullopt);
  EXPECT_EQ(folderFromQueryOutput(Lines{"~/.npm"}), std::nullopt);
}

TEST(PathLookup, RealToolsAnswerFailOrSayNothing) {
  testing::TempDir dir;
  const auto tool = [&](const std::string& name, const std::string& body) {
    const auto path = dir.write("bin/" + name, "#!/bin/sh\n" + body);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  };
  // npm answers from its environment, as the real one does with npm_config_cache.
  tool("npm", "[ \"$*\" = 'config get cache' ] && echo \"$npm_config_cache/\"\n");
  tool("pnpm", "echo /store/v3\nexit 1\n");
  tool("uv", "echo\n");
  const FolderLocator locator(dir / "bin");
  const POSIXLauncher launcher;
  const PathLookupRunner runner(locator, launcher,
                                Environment(std::map<std::string, std::string, std::less<>>{
                                    {"npm_config_cache", "/home/me/.npm-cache"}}),
                                dir.path().string());
  EXPECT_EQ(runner.lookup(PathLookup::npmConfigCache), "/home/me/.npm-cache/_cacache");
  EXPECT_EQ(runner.lookup(PathLookup::pnpmStorePath), std::nullopt);  // failed, whatever it said
  EXPECT_EQ(runner.lookup(PathLookup::uvCacheDir), std::nullopt);
  EXPECT_EQ(runner.lookup(PathLookup::goEnvGomodcache), std::nullopt);  // not installed
}

}  // namespace
}  // namespace glimmet
