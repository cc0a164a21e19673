#include "logic/settings/settings_edit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/error.h"

namespace glimmet {
namespace {

using nlohmann::json;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string kLabel = "~/.local/share/Glimmet/settings.json";

SettingsFileRead parsed(const json& value) {
  return {SettingsFileRead::Kind::json, value};
}

SettingsEdit set(const SettingsFileRead& file, std::string_view key, const json& value,
                 bool replaceCorrupt = false) {
  return planSettingsEdit(file, {settingKey(key), value}, replaceCorrupt, kLabel);
}

SettingsEdit unset(const SettingsFileRead& file, std::string_view key) {
  return planSettingsEdit(file, {settingKey(key), std::nullopt}, false, kLabel);
}

// Each value is tried through the record's own decoder, so exactly the values
// that turn the whole file into defaults are named, wherever they sit.
TEST(SettingsEdit, NamesEveryValueTheRecordCantReadAndDropsOnlyThose) {
  const auto file = parsed(json::parse(R"({
      "ghostMinimumAge": "soon", "hogs": 3, "gracePeriod": 5, "future": "kept",
      "samplingInterval": {"seconds": 10},
      "reaper": {"enabled": 1, "interval": 600, "newField": "kept"},
      "mcp": {"enabled": true}})"));
  EXPECT_EQ(settingsFileProblem(file),
            "has values glimmet can't read (ghostMinimumAge, hogs, reaper.enabled, "
            "samplingInterval)");
  EXPECT_EQ(settingsFrom(file), GlimmetSettings{});
  EXPECT_THAT([&] { set(file, "gracePeriod", 4.0); },
              ::testing::ThrowsMessage<CommandFailure>(HasSubstr("won't change it")));

  const auto edit = set(file, "disk.maxWalkers", 2, true);
  ASSERT_TRUE(edit.write);
  EXPECT_TRUE(edit.write->keepOldAside);
  EXPECT_EQ(edit.write->contents, json::parse(R"({
      "gracePeriod": 5, "future": "kept", "reaper": {"interval": 600, "newField": "kept"},
      "mcp": {"enabled": true}, "disk": {"maxWalkers": 2}})"));
  EXPECT_THAT(edit.lines,
              ElementsAre("Dropped what glimmet can't read from " + kLabel +
                              " (ghostMinimumAge, hogs, reaper.enabled, samplingInterval); the old "
                              "file is now "
                              "settings.json.unreadable.",
                          "Set disk.maxWalkers to 2."));
}

TEST(SettingsEdit, AFileThatIsntAnObjectStartsAnewOnlyWhenAsked) {
  for (const auto& file :
       {SettingsFileRead{SettingsFileRead::Kind::notJson, {}},
        SettingsFileRead{SettingsFileRead::Kind::unusable, {}}, parsed(json::array({1, 2}))}) {
    EXPECT_THROW(set(file, "mcp.enabled", true), CommandFailure);
    const auto edit = set(file, "mcp.enabled", true, true);
    ASSERT_TRUE(edit.write);
    EXPECT_EQ(edit.write->contents, json::parse(R"({"mcp": {"enabled": true}})"));
    EXPECT_THAT(edit.lines.front(), HasSubstr("Replaced " + kLabel + ", which "));
  }
}

TEST(SettingsEdit, UnsetRemovesTheKeyAndARecordItEmptied) {
  const auto file = parsed(json::parse(R"({"reaper": {"minimumAge": 60}, "mcp": {"enabled": true,
                                            "later": 1}})"));
  auto edit = unset(file, "reaper.minimumAge");
  ASSERT_TRUE(edit.write);
  EXPECT_FALSE(edit.write->keepOldAside);
  EXPECT_EQ(edit.write->contents, json::parse(R"({"mcp": {"enabled": true, "later": 1}})"));
  EXPECT_THAT(edit.lines, ElementsAre("Unset reaper.minimumAge: it's back to its default, 6h."));

  edit = unset(file, "mcp.enabled");
  EXPECT_EQ(edit.write->contents["mcp"], json::parse(R"({"later": 1})"));

  edit = unset(SettingsFileRead{}, "gracePeriod");
  EXPECT_FALSE(edit.write) << "nothing to write, so a missing folder stays missing";
  EXPECT_THAT(edit.lines, ElementsAre("gracePeriod isn't set: it's at its default, 3s."));
}

}  // namespace
}  // namespace glimmet
