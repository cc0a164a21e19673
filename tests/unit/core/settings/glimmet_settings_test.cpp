#include "core/settings/glimmet_settings.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace glimmet {
namespace {

using nlohmann::json;

GlimmetSettings loadFrom(const std::string& contents) {
  testing::TempDir dir;
  dir.write("settings.json", contents);
  return GlimmetSettings::load(JSONStore(dir.path()));
}

TEST(GlimmetSettings, MissingFolderOrFileGivesDefaultsAndCreatesNothing) {
  testing::TempDir dir;
  const auto missing = dir / "Glimmet";
  const auto settings = GlimmetSettings::load(JSONStore(missing));
  EXPECT_EQ(settings, GlimmetSettings{});
  EXPECT_EQ(settings.ghostMinimumAge, 60);
  EXPECT_FALSE(settings.reaper.allowLikelyOrigins);
  EXPECT_EQ(settings.reaper.minimumAge, 21600);
  EXPECT_FALSE(settings.mcp.enabled);
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST(GlimmetSettings, EmptyObjectIsTheDefaultRecord) {
  EXPECT_EQ(loadFrom("{}"), GlimmetSettings{});
}

TEST(GlimmetSettings, PresentKeysReplaceOnlyTheirDefaults) {
  const auto settings = loadFrom(R"({"ghostMinimumAge": 300, "reaper": {"allowLikelyOrigins": true},
                                     "mcp": {}, "disk": {"maxWalkers": 2}, "unknownKey": [1, 2]})");
  GlimmetSettings expected;
  expected.ghostMinimumAge = 300;
  expected.reaper.allowLikelyOrigins = true;
  expected.disk.maxWalkers = 2;
  EXPECT_EQ(settings, expected);
  EXPECT_FALSE(settings.mcp.enabled);
  EXPECT_TRUE(settings.reaper.atLogin);
}

TEST(GlimmetSettings, AWrongTypeAnywhereMeansEveryDefault) {
  for (const char* contents : {
           R"({"ghostMinimumAge": "soon", "gracePeriod": 5})",
           R"({"gracePeriod": 5, "reaper": {"enabled": 1}})",
           R"({"gracePeriod": 5, "mcp": true})",
           R"({"gracePeriod": 5, "disk": {"excludePatterns": ["a", 3]}})",
           R"({"gracePeriod": 5, "disk": {"menuBarThreshold": -1}})",
           R"({"gracePeriod": 5, "disk": {"maxWalkers": 2.5}})",
           R"({"gracePeriod": 5, "hogs": 12})",
           R"({"gracePeriod": 5, "agentNotify": {"idleAfter": "2m"}})",
           R"([1, 2, 3])",
       }) {
    EXPECT_EQ(loadFrom(contents), GlimmetSettings{}) << contents;
  }
}

TEST(GlimmetSettings, AgentNotifyRulesTakeTheirDefaultsKeyByKey) {
  const AgentNotifyRules defaults;
  EXPECT_EQ(defaults.approvalDelay, 30);
  EXPECT_EQ(defaults.idleAfter, 120);
  const auto settings = loadFrom(R"({"agentNotify": {"finished": false, "idleAfter": 300}})");
  AgentNotifyRules expected;
  expected.finished = false;
  expected.idleAfter = 300;
  EXPECT_EQ(settings.agentNotify, expected);
}

TEST(GlimmetSettings, ApplicationOnlyRecordsAreAccepted) {
  const auto settings = loadFrom(R"({"gracePeriod": 7, "hogs": {"cpu": 90}, "keepAwake": {"x": [1]},
                                     "storms": {}, "diskWrites": {}, "localModels": {}})");
  EXPECT_EQ(settings.gracePeriod, 7);
}

TEST(GlimmetSettings, NullCountsAsAbsentAndWholeFloatsAreIntegers) {
  const auto settings = loadFrom(R"({"gracePeriod": null, "disk": {"staleProjectDays": 30.0},
                                     "reaper": {"dryRunOverride": false}})");
  EXPECT_EQ(settings.gracePeriod, 3);
  EXPECT_EQ(settings.disk.staleProjectDays, 30);
  EXPECT_EQ(settings.reaper.dryRunOverride, false);
}

TEST(GlimmetSettings, HostileFilesGiveDefaultsWithoutACrash) {
  EXPECT_EQ(loadFrom(std::string("\x00\xFF\xFE binary \x01", 12)), GlimmetSettings{});
  EXPECT_EQ(loadFrom("{\"gracePeriod\": 5"), GlimmetSettings{});
  EXPECT_EQ(loadFrom(R"({"name": "\xff"})"), GlimmetSettings{});
  EXPECT_EQ(loadFrom(std::string(200000, '[') + std::string(200000, ']')), GlimmetSettings{});
  EXPECT_EQ(loadFrom("{\"disk\":" + std::string(100000, '{') + std::string(100000, '}') + "}"),
            GlimmetSettings{});
  EXPECT_EQ(loadFrom("{\"a\": \"" + std::string(9 * 1024 * 1024, 'x') + "\", \"gracePeriod\": 5}"),
            GlimmetSettings{});
}

// A hand-edited time must never make a hook sleep for ever or overflow a
// conversion: every time lands inside its range instead.
TEST(GlimmetSettings, TimesOutsideTheirRangesMoveToTheNearestBound) {
  const auto huge = loadFrom(R"({"gracePeriod": 1e308, "ghostMinimumAge": 1e18,
                                 "samplingInterval": 1e300,
                                 "reaper": {"sessionGrace": 1e18, "minimumAge": 1e308,
                                            "interval": 1e18},
                                 "agentNotify": {"approvalDelay": 1e308, "idleAfter": 1e18}})");
  EXPECT_EQ(huge.gracePeriod, 15);
  EXPECT_EQ(huge.ghostMinimumAge, 365 * 86400);
  EXPECT_EQ(huge.samplingInterval, 3600);
  EXPECT_EQ(huge.reaper.sessionGrace, 600);
  EXPECT_EQ(huge.reaper.minimumAge, 365 * 86400);
  EXPECT_EQ(huge.reaper.interval, 7 * 86400);
  EXPECT_EQ(huge.agentNotify.approvalDelay, 86400);
  EXPECT_EQ(huge.agentNotify.idleAfter, 86400);

  const auto negative = loadFrom(R"({"gracePeriod": -5, "ghostMinimumAge": -1e308,
                                     "reaper": {"sessionGrace": -1, "interval": 0}})");
  EXPECT_EQ(negative.gracePeriod, 1);
  EXPECT_EQ(negative.ghostMinimumAge, 0);
  EXPECT_EQ(negative.reaper.sessionGrace, 0);
  EXPECT_EQ(negative.reaper.interval, 60);

  // Values inside their ranges are kept exactly.
  const auto kept = loadFrom(R"({"reaper": {"sessionGrace": 0, "minimumAge": 5400.5}})");
  EXPECT_EQ(kept.reaper.sessionGrace, 0);
  EXPECT_EQ(kept.reaper.minimumAge, 5400.5);
}

TEST(DiskRules, ClampsOutOfBoundsNumbersAndEncodesAllKeys) {
  const auto rules =
      DiskRules::fromJson(json{{"staleProjectDays", 1}, {"discoveryDepth", 99}, {"maxWalkers", 0}});
  ASSERT_TRUE(rules);
  EXPECT_EQ(rules->staleProjectDays, 7);
  EXPECT_EQ(rules->discoveryDepth, 12);
  EXPECT_EQ(rules->maxWalkers, 1);
  EXPECT_EQ(rules->toJson().size(), 10u);
  EXPECT_EQ(DiskRules::fromJson(rules->toJson()), rules);
}

}  // namespace
}  // namespace glimmet
