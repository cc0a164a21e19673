#include "logic/ghosts/ghosts_document.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace glimmet {
namespace {

using std::chrono::seconds;
using ::testing::ElementsAre;

const auto kNow = std::chrono::system_clock::time_point(seconds(2'000'000'000));

Ghost ghost(pid_t pid, Origin origin, double ageSeconds) {
  Ghost g;
  g.root.identity = {pid, static_cast<std::uint64_t>((2'000'000'000 - ageSeconds) * 1e6)};
  g.root.name = "node";
  g.root.argv = {"node", "server.js", "--api-key", "sk-123456"};
  g.label = "Node.js server";
  g.origin = std::move(origin);
  g.footprint = 2048;
  return g;
}

TEST(GhostsDocument, EachGhostSaysWhereItCameFromAndOnlyWhatIsKnown) {
  auto exact = ghost(41, Origin::exact("Claude Code", {900, 5}), 90.7);
  exact.ports = {3000};
  exact.members = {{42, 1}};
  exact.repo = "/home/me/shop";
  exact.worktree = "shop-login";
  exact.branch = "main";
  const GhostsDocument document{{exact, ghost(50, Origin::likely("Codex", "environment"), 10),
                                 ghost(60, Origin::of(Origin::Kind::orphanedDevServer), -5)},
                                kNow};
  const auto json = document.toJson();
  EXPECT_EQ(json["schema"], 1);
  const auto& first = json["ghosts"][0];
  EXPECT_EQ(first["ageSeconds"], 90);
  EXPECT_EQ(first["sessionPid"], 900);
  EXPECT_EQ(first["agent"], "Claude Code");
  EXPECT_EQ(first["originKind"], "exact");
  EXPECT_EQ(first["members"], nlohmann::json::array({42}));
  EXPECT_EQ(first["worktree"], "shop-login");
  EXPECT_EQ(first["command"].get<std::string>().find("sk-123456"), std::string::npos);
  EXPECT_EQ(json["ghosts"][1]["agent"], "Codex");
  EXPECT_FALSE(json["ghosts"][1].contains("sessionPid"));
  const auto& orphan = json["ghosts"][2];
  EXPECT_FALSE(orphan.contains("agent"));
  EXPECT_FALSE(orphan.contains("repo"));
  EXPECT_EQ(orphan["ageSeconds"], 0) << "a start after the snapshot is no negative age";

  EXPECT_THAT(document.lines(),
              ElementsAre("41      node server.js  Claude Code  shop-login (main)",
                          "50      node server.js  likely Codex",
                          "60      node server.js  Orphaned dev server (terminal closed)"));
}

TEST(GhostsDocument, NoGhostIsASentenceForAPersonAndAnEmptyListForAScript) {
  const GhostsDocument none{{}, kNow};
  EXPECT_THAT(none.lines(), ElementsAre("No ghosts. Nice and tidy."));
  EXPECT_EQ(none.status(OutputFormat::text), ExitStatus::nothingFound);
  EXPECT_EQ(none.status(OutputFormat::json), ExitStatus::ok);
  EXPECT_EQ(none.toJson(), (nlohmann::json{{"schema", 1}, {"ghosts", nlohmann::json::array()}}));
}

}  // namespace
}  // namespace glimmet
