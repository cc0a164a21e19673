// Judging measured candidates: shared hard links credited in equal parts, a
// project's use deciding its rule and safety, worktrees whose folder is gone
// or no longer linked, history too young to offer, and the context totals.
#include "core/disk/disk_judging.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace glimmet {
namespace {

using namespace std::chrono_literals;

constexpr auto kDay = std::chrono::hours(24);
const SystemTime kNow = SystemTime(std::chrono::seconds(1'780'000'000));

LeftoverRule rule(std::string id, LeftoverRule::Match match = LeftoverRule::Match::path) {
  LeftoverRule r;
  r.id = std::move(id);
  r.label = "Label of " + r.id;
  r.tool = "tool";
  r.category = DiskCategory::buildOutput;
  r.safety = DiskSafety::safe;
  r.match = match;
  r.clean.kind = CleanAction::Kind::trash;
  r.verified = true;
  return r;
}

Candidate candidate(const LeftoverRule& r, std::string path, uint64_t bytes) {
  Candidate c{&r, std::move(path)};
  c.measurement.bytes = c.measurement.uniqueBytes = bytes;
  c.measurement.newest = kNow - 1h;
  c.identity = FileIdentity{1, bytes};
  return c;
}

struct Judging {
  testing::TempDir dir;
  std::string home = dir.path().string();
  DiskScanOptions options;
  LivenessInput liveness;
  std::map<std::string, SystemTime> lastSeenLive;

  Judging() {
    options.home = home;
    options.now = kNow;
  }
  std::vector<DiskItem> judge(const std::vector<Candidate>& candidates,
                              const std::vector<LeftoverRule>& rules) {
    LeftoverRuleSet set;
    set.rules = rules;
    // The candidates point at `rules`; the set only answers lookups by id.
    return judgeCandidates(candidates, set, options, LiveState{liveness, lastSeenLive});
  }
};

TEST(DiskJudging, AFileHardLinkedIntoTwoItemsIsCreditedHalfToEach) {
  Judging j;
  const auto cache = rule("cache");
  auto a = candidate(cache, j.home + "/.cache/a", 5000);
  auto b = candidate(cache, j.home + "/.cache/b", 7000);
  for (auto* c : {&a, &b}) {
    c->measurement.uniqueBytes -= 4096;
    c->measurement.multiLinks[{9, 9}] = {4096, 2, 1};
  }
  const auto items = j.judge({a, b}, {cache});
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].attributedBytes, 904u + 2048u);
  EXPECT_EQ(items[1].attributedBytes, 2904u + 2048u);
  EXPECT_EQ(items[0].id, "~/.cache/a#cache");
  EXPECT_EQ(items[0].blocked, std::nullopt);
}

TEST(DiskJudging, AProjectsUseDecidesItsRuleSafetyAndReasons) {
  Judging j;
  auto modules = rule("node-modules");
  modules.activeID = "node-modules-active";
  modules.activeSafety = DiskSafety::review;
  j.options.rules.staleProjectDays = 90;
  j.options.minimumProjectItemBytes = 1000;
  j.options.killedRepos[j.home + "/Dev/web"] = kNow - 3 * kDay;

  // The walk names each project item's repository as it passes.
  auto active = candidate(modules, j.home + "/Dev/web/node_modules", 5000);
  active.project = true;
  active.projectPath = j.home + "/Dev/web";
  auto stale = candidate(modules, j.home + "/Dev/old/node_modules", 5000);
  stale.project = true;
  stale.projectPath = j.home + "/Dev/old";
  stale.measurement.newest = kNow - 200 * kDay;
  auto tiny = candidate(modules, j.home + "/Dev/web/sub/node_modules", 10);
  tiny.project = true;
  const auto items = j.judge({active, stale, tiny}, {modules});

  ASSERT_EQ(items.size(), 2u);  // the tiny one isn't worth listing
  EXPECT_EQ(items[0].ruleID, "node-modules-active");
  EXPECT_EQ(items[0].safety, DiskSafety::review);
  EXPECT_EQ(items[0].projectPath, j.home + "/Dev/web");
  EXPECT_EQ(items[0].reasons, (std::vector<std::string>{"Project touched today",
                                                        "Its dev server was killed 3 days ago"}));
  EXPECT_EQ(items[0].id, "~/Dev/web/node_modules#node-modules-active");
  EXPECT_EQ(items[1].ruleID, "node-modules");
  EXPECT_EQ(items[1].safety, DiskSafety::safe);
  EXPECT_EQ(items[1].activity->kind, ProjectActivity::Kind::stale);
  EXPECT_EQ(items[1].reasons, (std::vector<std::string>{"Untouched for 200 days"}));

  // A process the scan cache saw working in it two days ago dates its use.
  j.lastSeenLive[j.home + "/Dev/old/src"] = kNow - 2 * kDay;
  const auto seen = j.judge({stale}, {modules});
  EXPECT_EQ(seen[0].ruleID, "node-modules-active");
  EXPECT_EQ(seen[0].reasons, (std::vector<std::string>{"Project touched 2 days ago"}));
  EXPECT_EQ(seen[0].blocked, std::nullopt);
  j.lastSeenLive.clear();

  // A process working in the old project right now makes it today's.
  j.liveness.processes.push_back({"node", std::nullopt, j.home + "/Dev/old", "node", {}});
  const auto again = j.judge({stale}, {modules});
  EXPECT_EQ(again[0].ruleID, "node-modules-active");
  EXPECT_EQ(again[0].blocked, "node is running in this project");
}

TEST(DiskJudging, GoneAndUnlinkedWorktreesAreNeverRemovedAsFolders) {
  Judging j;
  auto worktree = rule(std::string(rule_ids::gitWorktree), LeftoverRule::Match::worktree);
  worktree.clean.kind = CleanAction::Kind::gitWorktreeRemove;
  auto stale = rule(std::string(rule_ids::gitWorktreeStale), LeftoverRule::Match::worktree);
  stale.clean.kind = CleanAction::Kind::gitWorktreeRemove;
  const auto repo = j.home + "/Dev/repo";

  auto gone = candidate(worktree, j.home + "/Dev/wt-gone", 100);
  gone.worktree = WorktreeIndex::Entry{gone.path, repo, repo + "/.git/worktrees/wt-gone", false};
  gone.measuredPath = repo + "/.git/worktrees/wt-gone";
  gone.identity.reset();
  auto foreign = candidate(worktree, j.home + "/Dev/plain", 100);
  foreign.worktree = WorktreeIndex::Entry{foreign.path, repo, repo + "/.git/worktrees/plain", true};
  const auto items = j.judge({gone, foreign}, {worktree, stale});

  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].ruleID, rule_ids::gitWorktreeStale);
  EXPECT_EQ(items[0].clean.kind, CleanAction::Kind::gitWorktreePrune);
  EXPECT_EQ(items[0].mainRepoPath, repo);
  EXPECT_EQ(items[0].reasons, (std::vector<std::string>{"Its folder is already gone"}));
  EXPECT_EQ(items[1].clean.kind, CleanAction::Kind::none);
  EXPECT_EQ(items[1].blocked, "Not a linked git worktree, so Glimmet leaves it alone");
}

TEST(DiskJudging, YoungChatsWaitAndUnverifiedRulesNeedAReview) {
  Judging j;
  j.options.rules.agentHistoryDays = 30;
  auto chats = rule("claude-chats");
  chats.category = DiskCategory::agentHistory;
  chats.olderThan = LeftoverRule::Age::agentHistory;
  chats.verified = false;
  auto young = candidate(chats, j.home + "/.claude/projects/new", 100);
  young.measurement.newest = kNow - 2 * kDay;
  auto old = candidate(chats, j.home + "/.claude/projects/old", 100);
  old.measurement.newest = kNow - 45 * kDay;
  const auto items = j.judge({young, old}, {chats});
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].newestSession, kNow - 45 * kDay);
  EXPECT_EQ(items[0].safety, DiskSafety::review);
  EXPECT_EQ(items[0].reasons,
            (std::vector<std::string>{"Newest chat is 45 days old",
                                      "Rule not verified on a real machine yet"}));
}

TEST(DiskJudging, ContextTotalsLeaveOutWhatItemsHold) {
  DiskItem inside;
  inside.path = "/home/me/Dev/web/node_modules";
  inside.bytes = 300;
  inside.identity = FileIdentity{1, 2};
  DiskItem gone = inside;  // a gone worktree's records are measured elsewhere
  gone.identity.reset();
  const auto totals = contextTotals(
      "/home/me", {"/home/me/Dev", "/home/me/.cargo", "/home/me/.claude", "/home/me/notes"},
      {Measurement{.bytes = 1000}, Measurement{.bytes = 50}, Measurement{.bytes = 20},
       Measurement{.bytes = 5}},
      {inside, gone});
  ASSERT_EQ(totals.size(), 3u);
  EXPECT_EQ(totals[0].category, DiskCategory::agentHistory);
  EXPECT_EQ(totals[1].category, DiskCategory::yourFiles);
  EXPECT_EQ(totals[1].bytes, 700u + 5u);
  EXPECT_EQ(totals[1].path, "/home/me");
  EXPECT_EQ(totals[2].category, DiskCategory::systemAndApps);
}

}  // namespace
}  // namespace glimmet
