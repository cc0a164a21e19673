#include "logic/reaper/reap_plan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/shipped_data.h"

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

ProcessRecord process(pid_t pid, pid_t ppid, std::string argv0) {
  ProcessRecord r;
  r.identity = {pid, 5};
  r.ppid = ppid;
  r.name = argv0.substr(argv0.rfind('/') + 1);
  r.argv = {argv0};
  return r;
}

TEST(FindSession, TheAgentAtOrAboveThePIDIsTheSession) {
  const ProcessSnapshot snapshot(
      {}, {process(900, 1, "/usr/bin/zsh"), process(1000, 900, "/home/me/.local/bin/claude"),
           process(1001, 1000, "/usr/bin/bash"), process(1002, 1001, "/usr/bin/sleep")});
  const auto& signatures = testing::shippedSignatures();
  EXPECT_EQ(findSession(1002, snapshot, signatures), (ProcessIdentity{1000, 5}));
  EXPECT_EQ(findSession(1000, snapshot, signatures), (ProcessIdentity{1000, 5}));
  try {
    findSession(900, snapshot, signatures);
    ADD_FAILURE() << "a shell outside any agent is no session";
  } catch (const CommandFailure& failure) {
    EXPECT_STREQ(failure.what(), "No agent session found at or above PID 900.");
    EXPECT_EQ(failure.status(), ExitStatus::nothingFound);
  }
}

TEST(FindSession, ALoopInTheParentLinksEndsWithoutASession) {
  const ProcessSnapshot loop(
      {}, {process(500, 501, "/usr/bin/sleep"), process(501, 500, "/usr/bin/sleep")});
  EXPECT_THROW(findSession(500, loop, testing::shippedSignatures()), CommandFailure);
}

Ghost named(pid_t pid) {
  Ghost g;
  g.root.identity = {pid, 1};
  g.root.name = "node";
  g.root.argv = {"node", "server.js"};
  g.origin = Origin::exact("Claude Code", kSession);
  return g;
}

KillReport stop(KillReport::Status status, std::optional<SkipReason> refusal = std::nullopt) {
  KillReport r;
  r.status = status;
  r.refusal = std::move(refusal);
  return r;
}

TEST(DescribeReap, NothingToReapAndADryRunSayTheirPiece) {
  const auto none = describeReap({}, false);
  EXPECT_THAT(none.lines, ElementsAre("No ghosts to reap."));
  EXPECT_EQ(none.status, ExitStatus::nothingFound);
  EXPECT_TRUE(describeReap({}, true).lines.empty());
  EXPECT_EQ(describeReap({}, true).status, ExitStatus::nothingFound);

  const ReapResult dry{.dryRun = true, .ghosts = {named(41)}, .reports = {}};
  EXPECT_THAT(describeReap(dry, false).lines,
              ElementsAre("Would reap node server.js (PID 41, Claude Code)"));
  EXPECT_EQ(describeReap(dry, false).status, ExitStatus::ok);
}

TEST(DescribeReap, TheStatusIsTheWorstOutcomeAndAGhostThatEndedByItselfIsNoFailure) {
  const auto gone = stop(KillReport::Status::refused, SkipReason::of(SkipReason::Kind::gone));
  ReapResult result{.dryRun = false,
                    .ghosts = {named(41), named(42)},
                    .reports = {stop(KillReport::Status::done), gone}};
  auto outcome = describeReap(result, false);
  EXPECT_THAT(
      outcome.lines,
      ElementsAre("Reaped node server.js (PID 41, Claude Code)",
                  "Couldn't reap node server.js (PID 42, Claude Code): it already stopped."));
  EXPECT_EQ(outcome.status, ExitStatus::ok);

  result.reports[1] = stop(KillReport::Status::refused, SkipReason::of(SkipReason::Kind::zombie));
  EXPECT_EQ(describeReap(result, false).status, ExitStatus::partial);
  result.reports[1] = stop(KillReport::Status::partial);
  EXPECT_EQ(describeReap(result, true).status, ExitStatus::partial);
  EXPECT_TRUE(describeReap(result, true).lines.empty());
  result.reports[0].outcomes.push_back({{43, 1}, {MemberOutcome::Kind::notPermitted, {}}});
  EXPECT_EQ(describeReap(result, false).status, ExitStatus::cannotStart);
}

}  // namespace
}  // namespace glimmet
