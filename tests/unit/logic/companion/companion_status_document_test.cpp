#include "logic/companion/companion_status_document.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace glimmet {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using namespace std::chrono_literals;

const SystemTime kNow = *parseIso8601("2026-03-01T11:05:00Z");

CompanionState state() {
  CompanionState out;
  out.pid = 4242;
  out.startedAt = *parseIso8601("2026-03-01T09:00:00Z");
  out.updatedAt = kNow - 10s;
  out.sessionsWatched = 2;
  out.ancestryRecords = 14;
  out.lastReap = CompanionReap{*parseIso8601("2026-03-01T10:00:00Z"), "schedule", false, 3, 2};
  return out;
}

nlohmann::json stamp(SystemTime time) {
  return {{"time", formatIso8601(time)}};
}

TEST(CompanionStatusDocument, ARunningCompanionInAFewAlignedLines) {
  CompanionStatusFacts facts{
      .running = true,
      .state = state(),
      .heartbeat = stamp(kNow - 12s),
      .inbox = nlohmann::json::array({{{"status", "pending"}}}),
      .ancestryFileRecords = 99,
      .installation = CompanionInstallation{CompanionInstallation::Kind::systemdUnit,
                                            "~/.config/systemd/user/glimmet-companion.service",
                                            "/usr/bin/glimmet"}};
  const auto document = CompanionStatusDocument::from(facts, kNow);
  EXPECT_THAT(
      document.lines(),
      ElementsAre("Companion         running, pid 4242, since 2026-03-01T09:00:00Z (2 h 5 min)",
                  "Heartbeat         12 s ago", "Sessions watched  2", "Ancestry records  14",
                  "Quit requests     1 pending",
                  "Last reap         2026-03-01T10:00:00Z on schedule: stopped 2 of 3 ghosts",
                  "Installed         systemd user unit "
                  "~/.config/systemd/user/glimmet-companion.service"));
  EXPECT_EQ(document.status(OutputFormat::text), ExitStatus::ok);

  const auto json = document.toJson();
  EXPECT_EQ(json["command"], "companion status");
  EXPECT_EQ(json["pid"], 4242);
  EXPECT_EQ(json["startedAt"], "2026-03-01T09:00:00Z");
  EXPECT_EQ(json["heartbeatAgeSeconds"], 12);
  EXPECT_EQ(json["heartbeatFresh"], true);
  EXPECT_EQ(json["installed"]["kind"], "systemdUnit");
  EXPECT_EQ(json["installed"]["runs"], "/usr/bin/glimmet");
  EXPECT_EQ(json["lastReap"]["trigger"], "schedule");
}

// companion.json stays behind when the companion exits: its pid and counts
// could belong to anyone by now, but its last reap is still the last one.
TEST(CompanionStatusDocument, AStoppedCompanionsFileNamesNoPid) {
  CompanionStatusFacts facts{.running = false,
                             .state = state(),
                             .heartbeat = stamp(kNow - 40min),
                             .ancestryFileRecords = 3};
  const auto document = CompanionStatusDocument::from(facts, kNow);
  const auto json = document.toJson();
  EXPECT_FALSE(json.contains("pid"));
  EXPECT_FALSE(json.contains("startedAt"));
  EXPECT_FALSE(json.contains("sessionsWatched"));
  EXPECT_FALSE(json.contains("installed"));
  EXPECT_EQ(json["ancestryRecords"], 3);
  EXPECT_EQ(json["heartbeatFresh"], false);
  EXPECT_TRUE(json.contains("lastReap"));
  EXPECT_THAT(document.lines(),
              ElementsAre("Companion         not running", "Heartbeat         40 min ago  [stale]",
                          "Ancestry records  3", "Quit requests     0 pending",
                          HasSubstr("on schedule"), HasSubstr("no: glimmet companion install")));
  EXPECT_EQ(document.status(OutputFormat::text), ExitStatus::nothingFound);
  EXPECT_EQ(document.status(OutputFormat::json), ExitStatus::ok);
}

TEST(CompanionStatusDocument, HeartbeatsFromTheFutureOrUnreadableOnes) {
  const auto ahead = CompanionStatusDocument::from({.heartbeat = stamp(kNow + 1h)}, kNow);
  EXPECT_EQ(ahead.heartbeatAgeSeconds, 0);
  EXPECT_TRUE(ahead.heartbeatFresh);
  for (const auto& bad : {nlohmann::json{{"time", "yesterday"}}, nlohmann::json{{"time", 5}},
                          nlohmann::json::array()}) {
    const auto document = CompanionStatusDocument::from({.heartbeat = bad}, kNow);
    EXPECT_EQ(document.heartbeatAgeSeconds, std::nullopt) << bad;
    EXPECT_THAT(document.lines()[1], "Heartbeat         none");
  }
}

TEST(CompanionStatusDocument, OnlyPendingQuitRequestsCount) {
  const auto inbox = nlohmann::json::parse(
      R"([{"status":"pending"},{"status":"done"},{"status":"pending","id":"x"},"pending",{}])");
  EXPECT_EQ(pendingQuitRequests(inbox), 2u);
  EXPECT_EQ(pendingQuitRequests(nlohmann::json::object({{"status", "pending"}})), 0u);
}

TEST(CompanionStatusDocument, ReapsAndInstallationsInWords) {
  auto dry = state();
  dry.lastReap = CompanionReap{kNow, "sessionEnd", true, 1, 0};
  const auto document = CompanionStatusDocument::from(
      {.running = true,
       .state = dry,
       .installation =
           CompanionInstallation{CompanionInstallation::Kind::autostartEntry,
                                 "~/.config/autostart/glimmet-companion.desktop", std::nullopt}},
      kNow);
  const auto lines = document.lines();
  EXPECT_EQ(lines[5],
            "Last reap         2026-03-01T11:05:00Z after a session ended, dry run: "
            "1 ghost selected");
  EXPECT_EQ(lines[6],
            "Installed         autostart entry "
            "~/.config/autostart/glimmet-companion.desktop  [not as glimmet wrote it]");
  EXPECT_FALSE(document.toJson()["installed"].contains("runs"));
}

TEST(CompanionStatusDocument, AgesInTheLargestUnitsThatMatter) {
  EXPECT_EQ(ageText(0), "0 s");
  EXPECT_EQ(ageText(59), "59 s");
  EXPECT_EQ(ageText(60), "1 min");
  EXPECT_EQ(ageText(3600), "1 h");
  EXPECT_EQ(ageText(3600 * 2 + 300), "2 h 5 min");
  EXPECT_EQ(ageText(86400 * 3 + 3600 * 4 + 59), "3 d 4 h");
}

}  // namespace
}  // namespace glimmet
