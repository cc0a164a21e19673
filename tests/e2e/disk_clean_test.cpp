// glimmet disk clean over a real scan of a fixture home with its own rule file:
// picking items, the dry run, and what a dry run leaves untouched.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/isolated_home.h"

namespace glimmet {
namespace {

using ::testing::HasSubstr;

// Two caches under ~/.cache: one the Trash takes, one a tool cleans with its
// own command ("fake-clean", found on PATH only when the test installs it).
constexpr std::string_view kRules = R"({"version": 1, "rules": [
  {"id": "fixture-trash", "label": "Fixture cache", "tool": "fixture", "category": "safeToClear",
   "safety": "safe", "match": "path", "paths": ["~/.cache/fixture-trash"],
   "clean": {"kind": "trash"}, "ifRemoved": "Nothing.", "verified": true},
  {"id": "fixture-tool", "label": "Tool cache", "tool": "fake-clean", "category": "safeToClear",
   "safety": "safe", "match": "path", "paths": ["~/.cache/fixture-tool"],
   "clean": {"kind": "toolCommand", "argv": ["fake-clean", "purge", "{path}"]},
   "ifRemoved": "Nothing.", "verified": true}
]})";

struct CleanHome {
  testing::IsolatedHome home;

  CleanHome() {
    home.dir().write("rules.json", std::string(kRules));
    home.environment() =
        home.environment().with("GLIMMET_LEFTOVERS", (home.root() / "rules.json").string());
    home.dir().write("home/.cache/fixture-trash/blob", std::string(50000, 't'));
    home.dir().write("home/.cache/fixture-tool/it's here/blob", std::string(50000, 'u'));
  }

  void installFakeTool() {
    const auto tool = home.dir().write("bin/fake-clean", "#!/bin/sh\nexit 0\n");
    std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
    const auto path = *home.environment().get("PATH");
    home.environment() =
        home.environment().with("PATH", (home.root() / "bin").string() + ":" + path);
  }

  testing::RunResult scan() {
    auto result = home.glimmet({"disk", "scan", "--json"});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    return result;
  }
};

TEST(DiskClean, DryRunShowsTheMovesAndCommandsAndTouchesNothing) {
  CleanHome fixture;
  fixture.installFakeTool();
  fixture.scan();
  const auto result =
      fixture.home.glimmet({"disk", "clean", "~/.cache/fixture-trash#fixture-trash",
                            (fixture.home.home() / ".cache/fixture-tool").string(), "--dry-run"});
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  const auto tool = (fixture.home.root() / "bin/fake-clean").string();
  const auto cache = (fixture.home.home() / ".cache/fixture-tool").string();
  EXPECT_EQ(result.out, "Would move to the Trash: ~/.cache/fixture-trash\nWould run: '" + tool +
                            "' purge '" + cache + "'\n");
  EXPECT_TRUE(std::filesystem::exists(fixture.home.home() / ".cache/fixture-trash/blob"));
  EXPECT_FALSE(std::filesystem::exists(fixture.home.home() / ".local/share/Trash"));
  EXPECT_FALSE(std::filesystem::exists(fixture.home.sharedFolder() / "cleanup.jsonl"));
}

TEST(DiskClean, AFolderSwappedForALinkSinceTheScanIsSkipped) {
  CleanHome fixture;
  fixture.scan();
  const auto cache = fixture.home.home() / ".cache/fixture-trash";
  std::filesystem::rename(cache, fixture.home.root() / "moved");
  std::filesystem::create_directory_symlink(fixture.home.root() / "moved", cache);
  const auto result =
      fixture.home.glimmet({"disk", "clean", "~/.cache/fixture-trash#fixture-trash", "--dry-run"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Skipped Fixture cache: Changed since the scan: it's a symlink now\n");
}

TEST(DiskClean, AMissingToolMovesItsFolderToTheTrashInstead) {
  CleanHome fixture;
  fixture.scan();
  const auto result =
      fixture.home.glimmet({"disk", "clean", "~/.cache/fixture-tool#fixture-tool", "--dry-run"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "Would move to the Trash: ~/.cache/fixture-tool\n");
}

TEST(DiskClean, ItemsMustComeFromTheLastScan) {
  CleanHome fixture;
  auto result = fixture.home.glimmet({"disk", "clean", "~/.cache/fixture-trash#fixture-trash"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "No disk scan yet. Run glimmet disk scan first.\n");

  fixture.home.dir().write("home/.local/share/Glimmet/disk-cache.json", "{not json");
  result = fixture.home.glimmet({"disk", "clean", "x", "--dry-run"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "No disk scan yet. Run glimmet disk scan first.\n");

  fixture.scan();
  result = fixture.home.glimmet({"disk", "clean", "~/nowhere#fixture-trash", "--dry-run"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "None of those are in the last scan.\n");
  EXPECT_THAT(result.err, HasSubstr("Not in the last scan: ~/nowhere#fixture-trash"));
}

TEST(DiskClean, MissingRulesStopBeforeAnything) {
  CleanHome fixture;
  fixture.home.dir().write("broken.json", R"({"version": 1, "rules": [{"id": "x"}]})");
  fixture.home.environment() = fixture.home.environment().with(
      "GLIMMET_LEFTOVERS", (fixture.home.root() / "broken.json").string());
  const auto result = fixture.home.glimmet({"disk", "clean", "x", "--dry-run"});
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.out,
            "Couldn't find Glimmet's leftover rules. Run glimmet from inside Glimmet.app.\n");
}

}  // namespace
}  // namespace glimmet
