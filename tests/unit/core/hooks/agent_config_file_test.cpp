#include "core/hooks/agent_config_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/error.h"
#include "support/temp_dir.h"

namespace glimmet::hooks {
namespace {

using ::testing::HasSubstr;

TEST(AgentConfigFile, AnEditBetweenReadAndWriteWins) {
  testing::TempDir dir;
  const auto path = dir.write("settings.json", "{}");
  const AgentConfigFile file(path, "Claude Code settings file");
  const ConfigSnapshot before = file.read();
  dir.write("settings.json", "{\"mine\":1}");
  try {
    file.replace(before, "{\"hooks\":{}}\n");
    FAIL() << "replaced a file that changed";
  } catch (const CommandFailure& failure) {
    EXPECT_THAT(failure.what(), HasSubstr("changed while Glimmet was editing it"));
  }
  EXPECT_EQ(dir.read("settings.json"), "{\"mine\":1}");
  EXPECT_THROW(file.remove(before), CommandFailure);
  EXPECT_EQ(dir.read("settings.json"), "{\"mine\":1}");
}

TEST(ChangeBackup, RestoresOnlyWhatItRecorded) {
  testing::TempDir dir;
  const auto path = dir.write("config.toml", "old\n");
  const AgentConfigFile file(path, "Codex config file");
  const ChangeBackup backup(path, ".glimmet-backup");
  const ConfigSnapshot before = file.read();
  backup.save(before, "new\n");
  file.replace(before, "new\n");
  EXPECT_EQ(backup.restorable(file.read()), std::optional<std::optional<std::string>>("old\n"));
  dir.write("config.toml", "new\nedited\n");
  EXPECT_EQ(backup.restorable(file.read()), std::nullopt);
  dir.write("config.toml.glimmet-backup.json", "not json");
  dir.write("config.toml", "new\n");
  EXPECT_EQ(backup.restorable(file.read()), std::nullopt);
}

}  // namespace
}  // namespace glimmet::hooks
