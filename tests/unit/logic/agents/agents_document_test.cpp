#include "logic/agents/agents_document.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace glimmet {
namespace {

using std::chrono::seconds;
using ::testing::ElementsAre;

const auto kNow = std::chrono::system_clock::time_point(seconds(1'800'000'000));

AgentSession session() {
  AgentSession out;
  out.pid = 4242;
  out.agent = "Claude Code";
  out.start = kNow - seconds(90) - std::chrono::milliseconds(700);
  out.activity = SessionActivity::working;
  out.footprint = 1'500'000;
  out.ports = {3000, 5173};
  out.children = {{4243, "node", "node vite", SessionChildKind::devServer, {3000, 5173}, 1'000'000},
                  {4244, "vitest", "vitest run", SessionChildKind::testRunner, {}, 500'000}};
  return out;
}

Ghost ghost() {
  Ghost out;
  out.root.identity = {777, 1};
  out.root.name = "node";
  out.root.argv = {"node", "server.js", "--token", "abcdefghijklmnopqrstuvwxyz0123456789ABCD"};
  out.origin = Origin::likely("Codex", "environment");
  out.footprint = 2048;
  out.ports = {8080};
  return out;
}

TEST(AgentsDocument, TextListsSessionsChildrenAndWhatWasLeftBehind) {
  auto quiet = session();
  quiet.pid = 5000;
  quiet.agent = "Codex";
  quiet.project = "web";
  quiet.activity = SessionActivity::idle;
  quiet.footprint = 2'500'000'000;
  quiet.children.clear();
  const auto document = AgentsDocument::from({session(), quiet}, {ghost()}, kNow);
  EXPECT_THAT(
      document.lines(),
      ElementsAre("Claude Code  pid 4242  no project  working  1.5 MB",
                  "  node  devServer  :3000 :5173", "  vitest  testRunner  ",
                  "Codex  pid 5000  web  idle  2.50 GB", "  nothing else yet", "Left behind",
                  "  pid 777  node server.js --token \xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2  "
                  "likely Codex"));
}

TEST(AgentsDocument, SaysSoWhenThereIsNothingOrOnlyLeftovers) {
  EXPECT_TRUE(AgentsDocument::from({}, {}, kNow).isEmpty());
  EXPECT_THAT(AgentsDocument::from({}, {}, kNow).lines(),
              ElementsAre("No agent sessions, and nothing left behind."));
  const auto leftovers = AgentsDocument::from({}, {ghost()}, kNow);
  EXPECT_FALSE(leftovers.isEmpty());
  EXPECT_EQ(leftovers.lines().front(), "No live agent sessions.");
  EXPECT_EQ(leftovers.lines()[1], "Left behind");
}

TEST(AgentsDocument, JsonCarriesEveryFieldAndLeavesAMissingProjectOut) {
  const auto json = AgentsDocument::from({session()}, {ghost()}, kNow).toJson();
  EXPECT_EQ(json["schema"], 1);
  EXPECT_EQ(json["command"], "agents");
  const auto& first = json["sessions"][0];
  EXPECT_FALSE(first.contains("project"));
  EXPECT_EQ(first["uptimeSeconds"], 90);
  EXPECT_EQ(first["memoryBytes"], 1'500'000);
  EXPECT_EQ(first["activity"], "working");
  EXPECT_EQ(first["ports"], nlohmann::json::array({3000, 5173}));
  EXPECT_EQ(first["started"][1], nlohmann::json({{"pid", 4244},
                                                 {"name", "vitest"},
                                                 {"kind", "testRunner"},
                                                 {"ports", nlohmann::json::array()},
                                                 {"memoryBytes", 500'000}}));
  const auto& left = json["leftBehind"][0];
  EXPECT_EQ(left["origin"], "likely Codex");
  EXPECT_EQ(left["memoryBytes"], 2048);
  EXPECT_EQ(left["ports"], nlohmann::json::array({8080}));

  // A start a little in the future (a clock step) is never a negative uptime.
  auto early = session();
  early.start = kNow + seconds(5);
  EXPECT_EQ(AgentsDocument::from({early}, {}, kNow).toJson()["sessions"][0]["uptimeSeconds"], 0);
}

}  // namespace
}  // namespace glimmet
