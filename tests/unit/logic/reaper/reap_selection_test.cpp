#include "logic/reaper/reap_selection.h"

#include <gtest/gtest.h>

#include "core/kill/duration.h"

namespace glimmet {
namespace {

const auto kNow = std::chrono::system_clock::time_point(std::chrono::hours(24 * 365 * 56));
const ProcessIdentity kSession{900, 42};

Ghost ghost(Origin origin, double ageSeconds) {
  Ghost g;
  g.root.identity = {1000,
                     static_cast<std::uint64_t>(
                         std::chrono::duration_cast<std::chrono::microseconds>(
                             (kNow - std::chrono::duration<double>(ageSeconds)).time_since_epoch())
                             .count())};
  g.members = {{1001, 7}};
  g.origin = std::move(origin);
  return g;
}

TEST(ReapSelection, OriginsFollowTheRules) {
  ReaperRules rules;
  const ReapCause cli{.trigger = ReapTrigger::cli, .subject = {}, .minimumAgeOverride = 0.0};
  EXPECT_TRUE(selects(ghost(Origin::exact("Codex", kSession), 10), rules, cli, kNow));
  EXPECT_FALSE(selects(ghost(Origin::likely("Codex", "environment"), 10), rules, cli, kNow));
  EXPECT_FALSE(selects(ghost(Origin::of(Origin::Kind::orphanedDevServer), 10), rules, cli, kNow));
  EXPECT_FALSE(selects(ghost(Origin::of(Origin::Kind::unknownAgent), 10), rules, cli, kNow));
  rules.allowLikelyOrigins = rules.includeOrphanedDevServers = true;
  EXPECT_TRUE(selects(ghost(Origin::likely("Codex", "environment"), 10), rules, cli, kNow));
  EXPECT_TRUE(selects(ghost(Origin::of(Origin::Kind::orphanedDevServer), 10), rules, cli, kNow));
  EXPECT_FALSE(selects(ghost(Origin::of(Origin::Kind::unknownAgent), 10), rules, cli, kNow));
}

TEST(ReapSelection, AgeUsesTheOverrideOrTheRulesAndTriggersWithASubjectIgnoreIt) {
  ReaperRules rules;  // six hours
  const auto young = ghost(Origin::exact("Codex", kSession), 3600);
  EXPECT_FALSE(selects(young, rules, {ReapTrigger::schedule, {}, {}}, kNow));
  EXPECT_TRUE(selects(young, rules, {ReapTrigger::cli, {}, *parseDuration("30m")}, kNow));
  EXPECT_FALSE(selects(young, rules, {ReapTrigger::cli, {}, *parseDuration("1.5h")}, kNow));
  EXPECT_TRUE(selects(young, rules, {ReapTrigger::sessionEnd, kSession, {}}, kNow));
  EXPECT_FALSE(
      selects(young, rules, {ReapTrigger::sessionEnd, ProcessIdentity{900, 43}, {}}, kNow));
  EXPECT_TRUE(selects(young, rules, {ReapTrigger::runaway, ProcessIdentity{1001, 7}, {}}, kNow));
  EXPECT_FALSE(selects(young, rules, {ReapTrigger::runaway, ProcessIdentity{1002, 7}, {}}, kNow));
}

TEST(ReapSelection, RulesReadAsSentences) {
  ReaperRules rules;
  EXPECT_EQ(rulesSummary(rules), "Ghosts older than 6h, exact origins only");
  rules.minimumAge = 0;
  rules.includeOrphanedDevServers = true;
  EXPECT_EQ(rulesSummary(rules), "Ghosts of any age, exact origins and orphaned dev servers");
  rules.minimumAge = 5400;
  rules.allowLikelyOrigins = true;
  EXPECT_EQ(rulesSummary(rules),
            "Ghosts older than 90 min, exact and likely origins, and orphaned dev servers");
  EXPECT_EQ(loginRuleText(rules, 2), "2 minutes after login, ghosts older than 90 min");
  EXPECT_EQ(sessionEndRuleText(rules),
            "Quit what that session started and left behind, after 60 s");
}

}  // namespace
}  // namespace glimmet
