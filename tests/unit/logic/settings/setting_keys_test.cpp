#include "logic/settings/setting_keys.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "core/error.h"

namespace glimmet {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;

// A valid value for `key` that differs from its default.
json otherValue(const SettingKey& key) {
  const json fallback = key.defaultValue();
  switch (key.type) {
    case SettingType::boolean:
      return !fallback.get<bool>();
    case SettingType::optionalBoolean:
      return true;
    case SettingType::duration:
    case SettingType::number:
    case SettingType::integer: {
      const double value = key.highest ? *key.highest : fallback.get<double>() + 7;
      if (key.type == SettingType::integer) return static_cast<int64_t>(value);
      return value;
    }
    case SettingType::textList:
      return json::array({"~/scratch", "*.iso"});
  }
  return nullptr;
}

// The table's names must be the record's own keys: a value written at a key's
// path is what the record's decoder reads back through that key.
TEST(SettingKeys, EveryKeyIsAKeyTheRecordReads) {
  std::set<std::string_view> names;
  for (const auto& key : settingKeys()) {
    EXPECT_TRUE(names.insert(key.name).second) << key.name << " twice";
    const json value = otherValue(key);
    ASSERT_NE(value, key.defaultValue()) << key.name;
    json file = json::object();
    json* place = &file;
    for (const auto& part : key.path()) place = &(*place)[part];
    *place = value;
    const auto settings = GlimmetSettings::fromJson(file);
    ASSERT_TRUE(settings) << key.name;
    EXPECT_EQ(key.read(*settings), value) << key.name;
  }
  EXPECT_EQ(names.size(), 34u)
      << "the record's 34 keys, reaper, disk, mcp and agentNotify included";
}

// What get prints is what set takes: every default and every range bound
// goes through its own text and back.
TEST(SettingKeys, ValueTextsParseBackToTheSameValue) {
  for (const auto& key : settingKeys()) {
    std::vector<json> values = {key.defaultValue(), otherValue(key)};
    if (key.lowest && key.type == SettingType::integer)
      values.push_back(static_cast<int64_t>(*key.lowest));
    else if (key.lowest)
      values.push_back(*key.lowest);
    for (const auto& value : values) {
      if (value.is_null()) continue;
      const auto text = settingValueText(key, value);
      EXPECT_EQ(parseSettingValue(key, text), value) << key.name << " " << text;
    }
  }
  EXPECT_EQ(settingValueText(settingKey("reaper.dryRunOverride"), nullptr), "not set");
}

TEST(SettingKeys, DurationsTakeUnitsOrPlainSecondsWithinTheirRange) {
  const auto& minimumAge = settingKey("reaper.minimumAge");
  const std::vector<std::pair<std::string, double>> good = {
      {"6h", 21600},  {"30m", 1800}, {"90s", 90},   {"45", 45},
      {"1.5h", 5400}, {"0", 0},      {"2d", 172800}};
  for (const auto& [text, seconds] : good)
    EXPECT_EQ(parseSettingValue(minimumAge, text), seconds) << text;
  for (const char* bad : {"soon", "-5", "6x", "", "1e3", "inf", "nan", "+5", " 5", "366d"})
    EXPECT_THROW(parseSettingValue(minimumAge, bad), UsageError) << bad;

  try {
    parseSettingValue(settingKey("gracePeriod"), "30s");
    FAIL() << "out of range";
  } catch (const UsageError& error) {
    EXPECT_STREQ(error.what(),
                 "'30s' isn't a value for gracePeriod: it takes a duration from 1s to 15s, like "
                 "6h, 30m, 90s or a number of seconds.");
  }
  EXPECT_THROW(parseSettingValue(settingKey("reaper.interval"), "59"), UsageError);
  EXPECT_EQ(parseSettingValue(settingKey("reaper.interval"), "7d"), 7 * 86400.0);
  EXPECT_EQ(durationText(1.5), "1.5s");
  EXPECT_EQ(durationText(0), "0s");
  EXPECT_EQ(durationText(5400), "90m");
}

TEST(SettingKeys, NumbersListsAndBooleansAreCheckedStrictly) {
  const auto& walkers = settingKey("disk.maxWalkers");
  EXPECT_EQ(parseSettingValue(walkers, "8"), 8);
  for (const char* bad : {"9", "0", "2.5", "two", "08x"})
    EXPECT_THROW(parseSettingValue(walkers, bad), UsageError) << bad;
  EXPECT_EQ(acceptedValues(walkers), "a whole number from 1 to 8");
  EXPECT_EQ(acceptedValues(settingKey("disk.menuBarThreshold")), "a whole number, 0 or more");
  EXPECT_THROW(parseSettingValue(settingKey("disk.menuBarThreshold"), "-1"), UsageError);

  const auto& percent = settingKey("reaper.runawayCPUPercent");
  EXPECT_EQ(parseSettingValue(percent, "87.5"), 87.5);
  EXPECT_THROW(parseSettingValue(percent, "inf"), UsageError);

  const auto& patterns = settingKey("disk.excludePatterns");
  EXPECT_EQ(parseSettingValue(patterns, R"([])"), json::array());
  for (const char* bad : {R"(["a", 3])", "{}", "*.iso", R"("*.iso")", "[[]]"})
    EXPECT_THROW(parseSettingValue(patterns, bad), UsageError) << bad;

  for (const char* bad : {"yes", "True", "1", ""})
    EXPECT_THROW(parseSettingValue(settingKey("mcp.enabled"), bad), UsageError) << bad;
}

TEST(SettingKeys, AnUnknownKeyOrARecordIsNamedInTheRefusal) {
  EXPECT_THAT(
      [] { settingKey("reaper.nope"); },
      ::testing::ThrowsMessage<UsageError>(HasSubstr("There's no setting named 'reaper.nope'.")));
  EXPECT_THAT([] { settingKey("mcp"); },
              ::testing::ThrowsMessage<UsageError>(HasSubstr("name one: mcp.enabled.")));
  EXPECT_THROW(settingKey("Mcp.enabled"), UsageError) << "names are case-sensitive";
  EXPECT_THROW(settingKey("reaper."), UsageError);
}

TEST(SettingKeys, TheEffectiveRecordReadsBackAsItself) {
  GlimmetSettings settings;
  settings.reaper.dryRunOverride = false;
  settings.disk.extraRoots = {"/mnt/work"};
  const auto record = effectiveSettings(settings);
  EXPECT_EQ(GlimmetSettings::fromJson(record), settings);
  EXPECT_EQ(record["reaper"]["dryRunOverride"], false);
  EXPECT_FALSE(effectiveSettings(GlimmetSettings{})["reaper"].contains("dryRunOverride"))
      << "absent, not null";
}

}  // namespace
}  // namespace glimmet
