// CleanupPlanner: the re-checks against the disk and what runs now, and the
// step each clean action makes.
#include "core/cleanup/cleanup_plan.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "core/disk/disk_walker.h"
#include "core/disk/shell_words.h"
#include "core/util/random_uuid.h"
#include "platform/file_system.h"

namespace glimmet {
namespace {

constexpr double kCommandTimeout = 600;
constexpr double kSlowCommandTimeout = 900;  // Docker and simulators take their time
constexpr double kTrashTimeout = 600;

std::string lastComponent(const std::string& path) {
  auto trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const auto slash = trimmed.rfind('/');
  return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

std::string parentFolder(const std::string& path) {
  return std::filesystem::path(path).parent_path().string();
}

std::string lowered(std::string text) {
  std::ranges::transform(text, text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// Words that would widen a tool's clean command from this item to everything
// the tool holds, or be read as options.
bool refused(const std::string& argument) {
  if (argument.empty() || argument.front() == '-') return true;
  if (argument.find('\n') != std::string::npos || argument.find('\0') != std::string::npos)
    return true;
  const auto word = lowered(argument);
  return word == "all" || word == "booted" || word == "unavailable" || word == "*";
}

std::string replaceAll(std::string text, std::string_view token, const std::string& value) {
  for (auto at = text.find(token); at != std::string::npos;
       at = text.find(token, at + value.size()))
    text.replace(at, token.size(), value);
  return text;
}

double commandTimeout(const DiskItem& item) {
  return item.category == DiskCategory::docker || item.tool == "simctl" ? kSlowCommandTimeout
                                                                        : kCommandTimeout;
}

std::optional<SystemTime> statModified(const platform::FileStatus& status) {
  return SystemTime(std::chrono::duration_cast<SystemTime::duration>(
      std::chrono::seconds(status.modified.tv_sec) +
      std::chrono::nanoseconds(status.modified.tv_nsec)));
}

}  // namespace

std::string_view rawValue(CleanupStep::Action action) {
  switch (action) {
    case CleanupStep::Action::toolCommand:
      return "toolCommand";
    case CleanupStep::Action::trash:
      return "trash";
    case CleanupStep::Action::gitWorktreeRemove:
      return "gitWorktreeRemove";
    case CleanupStep::Action::gitWorktreePrune:
      return "gitWorktreePrune";
  }
  return "trash";
}

std::string huggingFaceRepoID(const std::string& folderName) {
  constexpr std::string_view kSeparator = "--";
  for (std::string_view prefix : {"models--", "datasets--", "spaces--"}) {
    if (!folderName.starts_with(prefix)) continue;
    const auto rest = folderName.substr(prefix.size());
    const auto split = rest.find(kSeparator);
    if (split == std::string::npos) return rest.empty() ? folderName : rest;
    const auto owner = rest.substr(0, split);
    const auto name = rest.substr(split + kSeparator.size());
    if (owner.empty() || name.empty()) return folderName;
    return owner + "/" + name;
  }
  return folderName;
}

std::optional<std::vector<std::string>> expandCleanArguments(const std::vector<std::string>& argv,
                                                             const DiskItem& item) {
  if (argv.empty()) return std::nullopt;
  const auto name = lastComponent(item.path);
  const auto project = item.projectPath.value_or(parentFolder(item.path));
  const auto repo = item.mainRepoPath.value_or("");
  std::vector<std::string> expanded;
  for (const auto& argument : argv) {
    if (argument.find('{') == std::string::npos) {
      expanded.push_back(argument);
      continue;
    }
    auto value = replaceAll(argument, "{path}", item.path);
    value = replaceAll(value, "{name}", name);
    value = replaceAll(value, "{project}", project);
    value = replaceAll(value, "{repo}", repo);
    value = replaceAll(value, "{hfRepoID}", huggingFaceRepoID(name));
    if (refused(value)) return std::nullopt;
    expanded.push_back(std::move(value));
  }
  return expanded;
}

Revalidation CleanupPlanner::revalidate(const DiskItem& item) const {
  const auto info = platform::linkStatus(item.path);
  if (!info) return std::string(skip_reason::alreadyGone);
  if (info->kind == platform::FileStatus::Kind::symlink)
    return std::string(skip_reason::nowSymlink);
  if (!item.identity) return std::string(skip_reason::noIdentity);
  if (item.identity->device != static_cast<uint64_t>(info->device) ||
      item.identity->inode != static_cast<uint64_t>(info->inode))
    return std::string(skip_reason::changed);

  const auto cancel = CancelFlag::make();
  const auto measured = measure(item.path, *cancel);
  if (measured.noAccess) return std::string(skip_reason::noAccess);
  if (auto reason = protected_.check(item.path, measured.containsGit, item.clean.isGitWorktree()))
    return *reason;

  auto newest = measured.newest ? measured.newest : statModified(*info);
  if (item.category == DiskCategory::agentHistory && item.modified && newest &&
      *newest - *item.modified > std::chrono::seconds(1))
    return std::string(skip_reason::chatUsedAgain);

  auto updated = item;
  updated.bytes = measured.bytes;
  updated.uniqueBytes = measured.uniqueBytes;
  updated.fileCount = measured.files;
  updated.containsGit = item.containsGit || measured.containsGit;
  if (newest) updated.modified = newest;
  return updated;
}

std::optional<std::string> CleanupPlanner::recheckGoneWorktree(const DiskItem& item) {
  if (platform::entryExists(item.path)) return std::string(skip_reason::changed);
  const auto repo = item.mainRepoPath ? platform::linkStatus(*item.mainRepoPath) : std::nullopt;
  if (!repo || repo->kind != platform::FileStatus::Kind::directory)
    return std::string(skip_reason::noMainRepo);
  return std::nullopt;
}

Resolution CleanupPlanner::resolve(const DiskItem& cached, const LeftoverRule& rule) const {
  using Kind = CleanAction::Kind;
  auto item = cached;
  item.clean = cleanActionFor(cached, rule);
  const auto& clean = item.clean;
  CleanupStep step{.item = item, .note = clean.note};
  switch (clean.kind) {
    case Kind::none:
    case Kind::copyOnly:
      return std::string(skip_reason::reportOnly);

    case Kind::gitWorktreeRemove:
    case Kind::gitWorktreePrune: {
      if (!item.mainRepoPath || item.mainRepoPath->empty())
        return std::string(skip_reason::noMainRepo);
      const auto git = locator_.locate("git");
      if (!git) return std::string(skip_reason::noGit);
      std::vector<std::string> argv = {*git,
                                       "-c",
                                       "core.hooksPath=/dev/null",
                                       "-c",
                                       "core.fsmonitor=false",
                                       "-C",
                                       *item.mainRepoPath,
                                       "worktree"};
      if (clean.kind == Kind::gitWorktreeRemove) {
        argv.push_back("remove");
        argv.push_back(item.path);
        step.action = CleanupStep::Action::gitWorktreeRemove;
      } else {
        argv.push_back("prune");
        step.action = CleanupStep::Action::gitWorktreePrune;
      }
      step.argv = std::move(argv);
      step.timeout = commandTimeout(item);
      return step;
    }

    case Kind::toolCommand: {
      const auto argv = clean.argv ? expandCleanArguments(*clean.argv, item) : std::nullopt;
      if (!argv) return std::string(skip_reason::noCommand);
      const auto& program = argv->front();
      // The rule file refuses programs given by path; a rule made elsewhere gets
      // the same answer here.
      if (program.find('/') != std::string::npos) return std::string(skip_reason::noCommand);
      if (const auto found = locator_.locate(program)) {
        step.action = CleanupStep::Action::toolCommand;
        step.argv = *argv;
        step.argv->front() = *found;
        step.timeout = commandTimeout(item);
        return step;
      }
      if (item.isAbsolute() && !protected_.check(item.path, item.containsGit, false)) {
        step.action = CleanupStep::Action::trash;
        step.note = lastComponent(program) + " isn't installed, so this moves to the Trash";
        step.timeout = kTrashTimeout;
        return step;
      }
      return lastComponent(program) + " isn't installed";
    }

    case Kind::trash: {
      if (!item.isAbsolute()) return std::string(skip_reason::noCommand);
      const auto& stop = clean.stopFirst;
      if (stop && !stop->empty()) {
        if (stop->front().find('/') != std::string::npos)
          return std::string(skip_reason::noCommand);
        const auto found = locator_.locate(stop->front());
        if (!found)
          return lastComponent(stop->front()) +
                 " isn't on your PATH, so Glimmet can't stop it first";
        step.stopFirst = *stop;
        step.stopFirst->front() = *found;
      }
      step.action = CleanupStep::Action::trash;
      step.timeout = kTrashTimeout;
      return step;
    }
  }
  return std::string(skip_reason::reportOnly);
}

void archiveAgentHistory(CleanupPlan& plan, const std::string& folder) {
  for (auto& step : plan.steps)
    if (step.action == CleanupStep::Action::trash && !step.argv &&
        step.item.category == DiskCategory::agentHistory)
      step.archiveTo = folder;
}

CleanAction cleanActionFor(const DiskItem& cached, const LeftoverRule& rule) {
  using Kind = CleanAction::Kind;
  if (cached.clean.kind == Kind::none) return CleanAction{.kind = Kind::none};
  if (rule.clean.isGitWorktree() && cached.clean.kind == Kind::gitWorktreePrune)
    return CleanAction{.kind = Kind::gitWorktreePrune};
  return rule.clean;
}

DiskItem withRule(const DiskItem& cached, const LeftoverRule& rule) {
  auto item = cached;
  item.clean = cleanActionFor(cached, rule);
  const bool stale = cached.activity && cached.activity->kind == ProjectActivity::Kind::stale;
  item.label = rule.activeLabel && cached.projectPath && !stale ? *rule.activeLabel : rule.label;
  item.tool = rule.tool;
  item.category = rule.category;
  item.ifRemoved = rule.ifRemoved;
  item.verified = rule.verified;
  item.raiseSafety(rule.effectiveSafety());
  if (rule.activeID && cached.ruleID == *rule.activeID && rule.activeSafety)
    item.raiseSafety(*rule.activeSafety);
  return item;
}

CleanupPlan CleanupPlanner::plan(const std::vector<DiskItem>& items, const std::string& home,
                                 const LivenessInput& liveness, SystemTime now) const {
  CleanupPlan plan{.id = randomUuid(), .createdAt = now, .home = home};
  const auto skip = [&](const DiskItem& item, std::string_view reason) {
    plan.skipped.push_back({item, std::string(reason)});
  };
  for (const auto& chosen : items) {
    const auto* rule = rules_.rule(chosen.ruleID);
    if (chosen.safety == DiskSafety::reportOnly) {
      skip(chosen, skip_reason::reportOnly);
      continue;
    }
    if (!rule) {
      skip(chosen, skip_reason::ruleChanged);
      continue;
    }
    // From here on the item carries what its rule says, not what the cache says.
    auto item = withRule(chosen, *rule);
    if (item.safety == DiskSafety::reportOnly || item.clean.kind == CleanAction::Kind::none) {
      skip(item, skip_reason::reportOnly);
      continue;
    }
    if (item.clean.kind == CleanAction::Kind::copyOnly) {
      if (item.clean.argv)
        if (const auto argv = expandCleanArguments(*item.clean.argv, item))
          plan.copyOnly.push_back({item, joinShellWords(*argv)});
      continue;
    }
    // Docker figures have a name for a path; everything else is a folder that
    // must be checked on disk before it is touched.
    const bool onDisk = rule->match != LeftoverRule::Match::docker;
    if (onDisk != item.isAbsolute()) {
      skip(item, onDisk ? skip_reason::noIdentity : skip_reason::changed);
      continue;
    }
    if (item.clean.kind == CleanAction::Kind::gitWorktreePrune) {
      // Its folder was already gone at scan time: only git's records are left.
      if (auto reason = recheckGoneWorktree(item)) {
        skip(item, *reason);
        continue;
      }
    } else if (onDisk) {
      auto checked = revalidate(item);
      if (auto* reason = std::get_if<std::string>(&checked)) {
        skip(item, *reason);
        continue;
      }
      item = std::get<DiskItem>(std::move(checked));
    }
    if (auto reason = LivenessGuard::check(item, *rule, liveness, now)) {
      skip(item, *reason);
      continue;
    }
    auto resolution = resolve(item, *rule);
    if (auto* reason = std::get_if<std::string>(&resolution))
      skip(item, *reason);
    else
      plan.steps.push_back(std::get<CleanupStep>(std::move(resolution)));
  }
  return plan;
}

}  // namespace glimmet
