#include "core/hooks/hook_installer.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "core/error.h"
#include "support/temp_dir.h"

namespace glimmet::hooks {
namespace {

using nlohmann::json;

TEST(ClaudeSettingsPath, AnEmptyConfigDirMeansTheDefault) {
  const Environment empty = Environment().with("CLAUDE_CONFIG_DIR", "");
  EXPECT_EQ(claudeSettingsPath(empty, "/h"), "/h/.claude/settings.json");
  const Environment set = Environment().with("CLAUDE_CONFIG_DIR", "/c");
  EXPECT_EQ(claudeSettingsPath(set, "/h"), "/c/settings.json");
}

TEST(HookInstaller, BothPurposesGiveOneGroupPerEvent) {
  testing::TempDir dir;
  const auto path = dir / "settings.json";
  const HookInstaller reap(path, "/opt/g/glimmet", HookPurpose::reapOnSessionEnd);
  const HookInstaller notify(path, "/opt/g/glimmet", HookPurpose::notify);
  reap.install();
  notify.install();
  reap.install();
  EXPECT_TRUE(reap.isInstalled());
  const json root = json::parse(dir.read("settings.json"));
  for (const auto* event : {"SessionEnd", "Stop", "Notification"})
    EXPECT_EQ(root["hooks"][event].size(), 1u) << event;
  EXPECT_EQ(root["hooks"]["SessionEnd"][0]["hooks"][0]["timeout"], 2);
}

TEST(HookInstaller, RemovingOurEntryKeepsOthersInTheSameGroup) {
  testing::TempDir dir;
  const auto path = dir.write(
      "settings.json",
      R"({"hooks":{"Stop":[{"hooks":[{"type":"command","command":"x"},)"
      R"({"type":"command","command":"'/g' notify --agent claude-code --pid $PPID"}]}]}})");
  const HookInstaller notify(path, "/g", HookPurpose::notify);
  EXPECT_EQ(notify.uninstall(), UninstallOutcome::removedEntryOnly);
  const json root = json::parse(dir.read("settings.json"));
  ASSERT_EQ(root["hooks"]["Stop"].size(), 1u);
  ASSERT_EQ(root["hooks"]["Stop"][0]["hooks"].size(), 1u);
  EXPECT_EQ(root["hooks"]["Stop"][0]["hooks"][0]["command"], "x");
}

TEST(HookInstaller, RefusesAPathThatWouldEscapeItsQuotes) {
  testing::TempDir dir;
  const HookInstaller notify(dir / "settings.json", "/tmp/it's/glimmet", HookPurpose::notify);
  EXPECT_THROW(notify.install(), CommandFailure);
  EXPECT_FALSE(std::filesystem::exists(dir / "settings.json"));
}

}  // namespace
}  // namespace glimmet::hooks
