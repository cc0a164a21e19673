#include "logic/kill/reap_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace glimmet {
namespace {

using ::testing::ElementsAre;

const auto kNow = std::chrono::system_clock::time_point(std::chrono::hours(24 * 365 * 56));
const ProcessIdentity kSession{900, 42};
const ProcessIdentity kOtherSession{901, 43};

Ghost ghost(pid_t pid, Origin origin, double ageSeconds) {
  Ghost g;
  g.root.identity = {pid,
                     static_cast<std::uint64_t>(
                         std::chrono::duration_cast<std::chrono::microseconds>(
                             (kNow - std::chrono::duration<double>(ageSeconds)).time_since_epoch())
                             .count())};
  g.origin = std::move(origin);
  return g;
}

std::vector<pid_t> pidsOf(const std::vector<Ghost>& ghosts) {
  std::vector<pid_t> pids;
  for (const auto& g : ghosts) pids.push_back(g.root.pid());
  return pids;
}

const std::vector<Ghost> kReport = {
    ghost(1, Origin::exact("Claude Code", kSession), 5),
    ghost(2, Origin::exact("Claude Code", kSession), 7 * 3600),
    ghost(3, Origin::exact("Claude Code", kOtherSession), 5),
    ghost(4, Origin::likely("Claude Code", "environment"), 5),
    ghost(5, Origin::of(Origin::Kind::orphanedDevServer), 7 * 3600),
};

TEST(ChooseGhosts, AfterTheSessionsEndEverythingItLeftIsChosenHoweverYoung) {
  ReapRequest request{.session = 900, .afterExit = true, .includeDevServers = true};
  ReaperRules rules;
  rules.allowLikelyOrigins = true;
  EXPECT_THAT(pidsOf(chooseGhosts(kReport, request, kSession, rules, kNow)), ElementsAre(1, 2));
  request.olderThan = 3600;
  EXPECT_THAT(pidsOf(chooseGhosts(kReport, request, kSession, rules, kNow)), ElementsAre(2))
      << "an age asked for still holds";
  request.olderThan = 0;
  request.agent = "codex";
  EXPECT_TRUE(chooseGhosts(kReport, request, kSession, rules, kNow).empty());
}

TEST(ChooseGhosts, WithoutAfterExitTheCommandLineRulesStay) {
  ReaperRules rules;  // six hours
  ReapRequest request{.session = 900};
  EXPECT_THAT(pidsOf(chooseGhosts(kReport, request, kSession, rules, kNow)), ElementsAre(2));
  request = {.olderThan = 0, .includeDevServers = true};
  EXPECT_THAT(pidsOf(chooseGhosts(kReport, request, std::nullopt, rules, kNow)),
              ElementsAre(1, 2, 3, 5));
  request.agent = "CLAUDE code";
  EXPECT_THAT(pidsOf(chooseGhosts(kReport, request, std::nullopt, rules, kNow)),
              ElementsAre(1, 2, 3));
}

}  // namespace
}  // namespace glimmet
