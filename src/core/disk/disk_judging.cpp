// judgeCandidates: which rule an item falls under, how safe it is, why, and
// what blocks it; dockerItems and contextTotals.
#include "core/disk/disk_judging.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "core/disk/disk_paths.h"
#include "core/safety/disk_protected_list.h"
#include "core/util/home_path.h"

namespace glimmet {
namespace {

using Match = LeftoverRule::Match;

constexpr int64_t kDay = 86'400;

std::string days(int64_t count) {
  return std::to_string(count) + (count == 1 ? " day" : " days");
}

int64_t wholeDays(SystemTime now, SystemTime then) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - then).count();
  return seconds > 0 ? seconds / kDay : 0;
}

struct Activity {
  ProjectActivity activity;
  std::string reason;
};

// A project's last use is the newer of its newest file and the last time a
// running process worked in it; one running there right now means today.
Activity projectActivity(const std::string& project, std::optional<SystemTime> lastUsed,
                         const DiskScanOptions& options, const LiveState& live) {
  const auto now = options.now;
  for (const auto& [folder, when] : live.lastSeenLive)
    if (disk_path::isWithin(folder, project) && (!lastUsed || when > *lastUsed)) lastUsed = when;
  for (const auto& process : live.liveness.processes)
    if (process.cwd && disk_path::isWithin(*process.cwd, project)) lastUsed = now;
  if (!lastUsed)
    return {{ProjectActivity::Kind::unknown, std::nullopt},
            "Couldn't tell when this project was last used"};
  const int64_t age = wholeDays(now, *lastUsed);
  if (now - *lastUsed > std::chrono::seconds(options.rules.staleProjectDays * kDay))
    return {{ProjectActivity::Kind::stale, lastUsed},
            "Untouched for " + std::to_string(age) + " days"};
  return {{ProjectActivity::Kind::active, lastUsed},
          age < 1 ? std::string("Project touched today")
                  : "Project touched " + std::to_string(age) + " days ago"};
}

// What every item of `rule` says of itself, whatever was found.
DiskItem itemOfRule(const LeftoverRule& rule) {
  DiskItem item;
  item.ruleID = rule.id;
  item.label = rule.label;
  item.tool = rule.tool;
  item.category = rule.category;
  item.clean = rule.clean;
  item.ifRemoved = rule.ifRemoved;
  item.verified = rule.verified;
  return item;
}

// The candidate as its rule describes it, with what measuring found. Files
// hard-linked between items are credited to each in equal parts.
DiskItem measuredItem(const Candidate& candidate, const LeftoverRule& rule,
                      const std::map<FileIdentity, uint64_t>& holders) {
  const auto& m = candidate.measurement;
  auto item = itemOfRule(rule);
  item.path = candidate.path;
  item.safety = rule.safety;
  item.bytes = m.bytes;
  item.uniqueBytes = m.uniqueBytes;
  item.attributedBytes = m.uniqueBytes;
  for (const auto& [identity, link] : m.multiLinks) {
    const auto held = holders.find(identity);
    item.attributedBytes +=
        link.bytes / std::max<uint64_t>(held == holders.end() ? 0 : held->second, 1);
  }
  item.fileCount = m.files;
  item.modified = m.newest;
  item.identity = candidate.identity;
  item.partial = m.noAccess;
  item.containsGit = m.containsGit;
  item.children.reserve(m.children.size());
  for (const auto& [name, bytes] : m.children) item.children.push_back({name, bytes});
  std::sort(item.children.begin(), item.children.end(),
            [](const DiskChild& a, const DiskChild& b) { return a.bytes > b.bytes; });
  if (candidate.lookupFailed) {
    item.reasons.push_back("Couldn't ask " + rule.tool + " where its cache is");
    item.raiseSafety(DiskSafety::review);
  }
  return item;
}

// What the project's use says: the rule's active variant while it is in
// use, review while nobody can tell, and the day its dev server was stopped.
void applyActivity(DiskItem& item, const Activity& activity, const LeftoverRule& rule,
                   const std::optional<WorktreeIndex::Entry>& worktree,
                   const std::optional<std::string>& projectPath, const DiskScanOptions& options) {
  item.activity = activity.activity;
  item.projectPath = projectPath;
  if (worktree) {
    item.mainRepoPath = worktree->mainRepoPath;
    item.reasons.push_back("Worktree of " + tildePath(worktree->mainRepoPath, options.home));
  }
  item.reasons.push_back(activity.reason);
  switch (activity.activity.kind) {
    case ProjectActivity::Kind::unknown:
      item.raiseSafety(DiskSafety::review);
      if (rule.activeLabel) item.label = *rule.activeLabel;
      break;
    case ProjectActivity::Kind::active:
      if (rule.activeID) item.ruleID = *rule.activeID;
      if (rule.activeLabel) item.label = *rule.activeLabel;
      if (rule.activeSafety) item.raiseSafety(*rule.activeSafety);
      break;
    case ProjectActivity::Kind::stale:
      break;
  }
  const auto repo = worktree ? std::optional(worktree->mainRepoPath) : item.projectPath;
  if (!repo) return;
  const auto killed = options.killedRepos.find(*repo);
  if (killed == options.killedRepos.end()) return;
  const int64_t age = wholeDays(options.now, killed->second);
  item.reasons.push_back(age < 1 ? std::string("Its dev server was killed today")
                                 : "Its dev server was killed " + days(age) + " ago");
  item.serverKilledAt = killed->second;
}

// A worktree record without a project to date: one whose folder is gone is
// cleaned by pruning git's records; one that isn't a linked worktree is left.
void applyUnlinkedWorktree(DiskItem& item, const WorktreeIndex::Entry& worktree) {
  item.mainRepoPath = worktree.mainRepoPath;
  if (!worktree.exists) {
    item.reasons.push_back("Its folder is already gone");
    item.clean = CleanAction{.kind = CleanAction::Kind::gitWorktreePrune};
    item.children.clear();
  } else {
    const std::string notLinked = "Not a linked git worktree, so Glimmet leaves it alone";
    item.reasons.push_back(notLinked);
    item.clean = CleanAction{};
    item.blocked = notLinked;
  }
}

}  // namespace

std::vector<DiskItem> judgeCandidates(const std::vector<Candidate>& candidates,
                                      const LeftoverRuleSet& rules, const DiskScanOptions& options,
                                      const LiveState& live) {
  const auto& home = options.home;
  const auto now = options.now;
  std::map<FileIdentity, uint64_t> holders;
  for (const auto& candidate : candidates)
    for (const auto& [identity, link] : candidate.measurement.multiLinks) ++holders[identity];
  const DiskProtectedList protectedList(home, options.rules.protectedPaths, options.settingsFolders,
                                        options.trashRoots);
  DiskProtectedList::RealFolders realFolders;

  std::vector<DiskItem> items;
  items.reserve(candidates.size());
  for (const auto& candidate : candidates) {
    const auto& m = candidate.measurement;
    const auto& worktree = candidate.worktree;
    std::optional<Activity> activity;
    std::optional<std::string> projectPath;
    if (candidate.project) {
      projectPath = candidate.projectPath;
      const auto project =
          projectPath.value_or(std::filesystem::path(candidate.path).parent_path().string());
      activity = projectActivity(project, m.newest, options, live);
    } else if (worktree && worktree->exists && worktree->linked) {
      activity = projectActivity(candidate.path, m.newest, options, live);
    }
    // A stale worktree, or one whose folder is gone, falls under the stale rule.
    const LeftoverRule* chosen = candidate.rule;
    if (worktree && (!worktree->exists ||
                     (activity && activity->activity.kind == ProjectActivity::Kind::stale)))
      if (const auto* stale = rules.rule(rule_ids::gitWorktreeStale);
          stale && stale->match == Match::worktree)
        chosen = stale;
    const auto& rule = *chosen;
    if (candidate.project && m.bytes < options.minimumProjectItemBytes) continue;
    if (rule.olderThan && m.newest &&
        now - *m.newest < std::chrono::seconds(options.rules.agentHistoryDays * kDay))
      continue;

    auto item = measuredItem(candidate, rule, holders);
    if (activity)
      applyActivity(item, *activity, rule, worktree, projectPath, options);
    else if (worktree)
      applyUnlinkedWorktree(item, *worktree);
    if (rule.category == DiskCategory::agentHistory && m.newest) {
      item.newestSession = m.newest;
      // Only chat folders (kept until agentHistoryDays) have chats to date;
      // logs and debug folders are agent history without them.
      if (rule.olderThan)
        item.reasons.push_back("Newest chat is " + std::to_string(wholeDays(now, *m.newest)) +
                               " days old");
    }
    if (m.noAccess)
      item.reasons.push_back("Some folders couldn't be read, so the size is at least this");
    if (!rule.verified) {
      item.reasons.push_back("Rule not verified on a real machine yet");
      item.raiseSafety(DiskSafety::review);
    }
    if (!item.blocked)
      item.blocked = protectedList.check(item.path, item.containsGit, item.clean.isGitWorktree(),
                                         &realFolders);
    if (!item.blocked) item.blocked = LivenessGuard::check(item, rule, live.liveness, now);
    item.id = escapedForID(tildePath(item.path, home)) + "#" + item.ruleID;
    items.push_back(std::move(item));
  }
  return items;
}

std::vector<DiskItem> dockerItems(const std::vector<const LeftoverRule*>& dockerRules,
                                  const DockerStats& stats) {
  std::vector<DiskItem> items;
  for (const auto* rule : dockerRules) {
    const auto& figure = stats.figure(*rule->dockerKind);
    auto item = itemOfRule(*rule);
    item.id = std::string(rawValue(*rule->dockerKind)) + "#" + rule->id;
    item.path = std::string(rawValue(*rule->dockerKind));
    item.safety = rule->effectiveSafety();
    item.bytes = item.uniqueBytes = item.attributedBytes = figure.reclaimableBytes;
    item.fileCount = figure.count;
    if (!rule->verified) item.reasons.push_back("Rule not verified on a real machine yet");
    items.push_back(std::move(item));
  }
  return items;
}

std::vector<DiskContext> contextTotals(const std::string& home,
                                       const std::vector<std::string>& topLevel,
                                       const std::vector<Measurement>& measurements,
                                       const std::vector<DiskItem>& items) {
  std::map<DiskCategory, DiskContext> totals;
  for (size_t i = 0; i < topLevel.size(); ++i) {
    uint64_t bytes = measurements[i].bytes;
    for (const auto& item : items)
      // Items measured where they stand; a gone worktree's records live elsewhere.
      if (item.identity && disk_path::isWithin(item.path, topLevel[i]))
        bytes -= std::min(bytes, item.bytes);
    const auto category = contextCategory(std::filesystem::path(topLevel[i]).filename().string());
    auto& total = totals[category];
    total.category = category;
    total.path = home;
    total.bytes += bytes;
  }
  std::vector<DiskContext> context;
  for (const auto category : kDiskCategories)
    if (totals.count(category)) context.push_back(totals[category]);
  return context;
}

}  // namespace glimmet
