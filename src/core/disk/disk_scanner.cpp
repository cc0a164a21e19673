// scanDisk: find candidates by rule, measure them on the walker pool, then
// decide each item's safety, reasons and blocking.
#include "core/disk/disk_scanner.h"

#include <fnmatch.h>

#include <algorithm>
#include <set>

#include "core/cleanup/disk_protected_list.h"
#include "core/disk/disk_paths.h"
#include "core/disk/disk_walker.h"
#include "core/disk/worktree_index.h"
#include "core/util/home_path.h"
#include "platform/tree_walk.h"
#include "platform/volume.h"

namespace glimmet {
namespace {

using Match = LeftoverRule::Match;
using Kind = platform::FileStatus::Kind;

constexpr int64_t kDay = 86'400;

// Top-level folders of the home folder that are never walked as part of it.
const std::set<std::string> kNeverWalked = {"Library", ".Trash"};
const std::set<std::string> kPersonalMedia = {"Pictures", "Music", "Movies", "Videos"};

// Top-level names by context category; the tool folders among them are never
// searched for projects.
DiskCategory contextCategory(const std::string& name) {
  static const std::map<std::string, DiskCategory> kNames = [] {
    std::map<std::string, DiskCategory> names;
    for (const char* n : {".codex", ".claude", ".cursor", ".gemini", ".codeium", ".aider"})
      names[n] = DiskCategory::agentHistory;
    for (const char* n : {".ollama", ".lmstudio"}) names[n] = DiskCategory::aiModels;
    for (const char* n : {".docker", ".orbstack", ".colima"}) names[n] = DiskCategory::docker;
    for (const char* n :
         {".cargo",  ".rustup",        ".nvm",    ".pyenv", ".gradle", ".android",    ".volta",
          ".bun",    ".npm",           ".cache",  ".local", ".yarn",   ".pnpm-store", ".deno",
          "Library", "Applications",   ".config", ".var",   "snap",    ".mozilla",    ".m2",
          ".vscode", ".vscode-server", ".java",   ".conda", ".sdkman", ".steam",      ".wine"})
      names[n] = DiskCategory::systemAndApps;
    return names;
  }();
  const auto found = kNames.find(name);
  return found == kNames.end() ? DiskCategory::yourFiles : found->second;
}

bool exists(const std::string& path, Kind* kind = nullptr) {
  int error = 0;
  const auto status = platform::lstatPath(path, error);
  if (status && kind) *kind = status->kind;
  return status.has_value();
}

struct Candidate {
  const LeftoverRule* rule = nullptr;
  std::string path;
  bool project = false;
  Measurement measurement;
  std::optional<FileIdentity> identity;
  bool lookupFailed = false;  ///< the tool couldn't say where its folder is
  std::optional<WorktreeIndex::Entry> worktree;
  /// What is measured when it isn't `path`: a gone worktree's records.
  std::string measuredPath;

  const std::string& measuredFolder() const { return measuredPath.empty() ? path : measuredPath; }
};

class Excluder {
 public:
  Excluder(const std::vector<std::string>& patterns, std::string home)
      : patterns_(patterns), home_(std::move(home)) {}
  bool excluded(std::string_view name, const std::string& path) const {
    if (patterns_.empty()) return false;
    const std::string nameText(name);
    const std::string relative = tildeRelative(path);
    for (const auto& pattern : patterns_)
      if (::fnmatch(pattern.c_str(), nameText.c_str(), 0) == 0 ||
          ::fnmatch(pattern.c_str(), relative.c_str(), 0) == 0 ||
          ::fnmatch(pattern.c_str(), path.c_str(), 0) == 0)
        return true;
    return false;
  }

 private:
  std::string tildeRelative(const std::string& path) const {
    if (path.size() > home_.size() && path.starts_with(home_) && path[home_.size()] == '/')
      return path.substr(home_.size() + 1);
    return path;
  }
  const std::vector<std::string>& patterns_;
  std::string home_;
};

std::string days(int64_t count) {
  return std::to_string(count) + (count == 1 ? " day" : " days");
}

int64_t wholeDays(SystemTime now, SystemTime then) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - then).count();
  return seconds > 0 ? seconds / kDay : 0;
}

std::optional<std::string> projectOf(const std::string& path, const std::string& home) {
  auto folder = std::filesystem::path(path).parent_path().string();
  while (folder.size() > 1 && disk_path::isWithin(folder, home)) {
    if (exists(folder + "/.git")) return folder;
    if (folder == home) break;
    folder = std::filesystem::path(folder).parent_path().string();
  }
  return std::nullopt;
}

bool matchesProjectRule(const LeftoverRule& rule, std::string_view name,
                        const std::string& parent) {
  const bool named =
      std::find(rule.names.begin(), rule.names.end(), name) != rule.names.end() ||
      std::any_of(rule.namePrefixes.begin(), rule.namePrefixes.end(),
                  [&](const std::string& prefix) { return name.starts_with(prefix); });
  if (!named) return false;
  // Siblings: at least one of the named files stands next to the folder.
  if (!rule.siblings.empty() &&
      std::none_of(rule.siblings.begin(), rule.siblings.end(),
                   [&](const std::string& sibling) { return exists(parent + "/" + sibling); }))
    return false;
  if (!rule.inside.empty()) {
    const auto holder = std::filesystem::path(parent).filename().string();
    if (std::find(rule.inside.begin(), rule.inside.end(), holder) == rule.inside.end())
      return false;
  }
  return true;
}

struct Activity {
  ProjectActivity activity;
  std::string reason;
};

// A project's last use is the newer of its newest file and the last time a
// running process worked in it; one running there right now means today.
Activity projectActivity(const std::string& project, std::optional<SystemTime> lastUsed,
                         const DiskScanOptions& options, const LivenessInput& liveness) {
  const auto now = options.now;
  for (const auto& [folder, when] : options.lastSeenLive)
    if (disk_path::isWithin(folder, project) && (!lastUsed || when > *lastUsed)) lastUsed = when;
  for (const auto& process : liveness.processes)
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

// One measurement at a time, each shared out between up to `walkers` threads:
// a single huge folder then gets every walker, and no more than `walkers`
// threads ever read the disk at once.
void measureAll(std::vector<Candidate>& candidates, std::vector<Measurement>& extra,
                const std::vector<std::string>& extraPaths, size_t walkers,
                const CancelFlag& cancel) {
  for (auto& candidate : candidates) {
    candidate.measurement = measure(candidate.measuredFolder(), cancel, walkers);
    int error = 0;
    if (candidate.measuredPath.empty())
      if (const auto status = platform::lstatPath(candidate.path, error))
        candidate.identity = FileIdentity{status->device, status->inode};
  }
  extra.clear();
  for (const auto& path : extraPaths) extra.push_back(measure(path, cancel, walkers));
}

}  // namespace

std::string_view rawValue(NotScanned::Reason reason) {
  switch (reason) {
    case NotScanned::Reason::needsConsent:
      return "needsConsent";
    case NotScanned::Reason::noAccess:
      return "noAccess";
    case NotScanned::Reason::otherVolume:
      return "otherVolume";
    case NotScanned::Reason::cloud:
      return "cloud";
    case NotScanned::Reason::personalMedia:
      return "personalMedia";
  }
  return {};
}

DiskScanResult scanDisk(const LeftoverRuleSet& ruleSet, const DiskScanOptions& options,
                        const LivenessInput& liveness) {
  DiskScanResult result;
  result.startedAt = options.now;
  result.home = options.home;
  result.rulesVersion = ruleSet.version;
  const auto& home = options.home;
  const DiskPaths paths(home, options.environment);
  const Excluder excluder(options.rules.excludePatterns, home);
  result.freeBytes = platform::availableBytes(home);

  // Folders left out of the home walk, and why.
  std::set<std::string> leftOut;
  for (const auto& name : kNeverWalked) leftOut.insert(home + "/" + name);
  for (const auto& name : kPersonalMedia)
    if (exists(home + "/" + name)) {
      leftOut.insert(home + "/" + name);
      result.notScanned.push_back({home + "/" + name, NotScanned::Reason::personalMedia});
    }
  if (!options.rules.includeProtectedFolders)
    for (const auto& folder : options.consentFolders)
      if (exists(folder)) {
        leftOut.insert(folder);
        result.notScanned.push_back({folder, NotScanned::Reason::needsConsent});
      }
  for (const auto& trash : options.trashRoots) leftOut.insert(trash);

  std::vector<Candidate> candidates;
  std::set<std::pair<std::string, std::string>> seen;  // (rule id, path)
  const auto add = [&](const LeftoverRule& rule, std::string path, bool project,
                       bool lookupFailed = false) {
    if (excluder.excluded(std::filesystem::path(path).filename().string(), path)) return;
    if (!seen.insert({rule.id, path}).second) return;
    candidates.push_back({&rule, std::move(path), project, {}, std::nullopt, lookupFailed});
  };
  const auto addIfFolder = [&](const LeftoverRule& rule, const std::string& path,
                               bool lookupFailed) {
    Kind kind{};
    if (exists(path, &kind) && kind != Kind::symlink) add(rule, path, false, lookupFailed);
  };

  std::vector<const LeftoverRule*> projectRules, dockerRules;
  bool findWorktrees = false;
  for (const auto& rule : ruleSet.rules) {
    switch (rule.match) {
      case Match::path: {
        // The folder a tool reports replaces the rule's guesses; when it can't
        // be asked, the guesses stand, marked as such.
        const bool asks = rule.resolveWith && options.allowLookups && options.lookups &&
                          options.lookups->shouldAsk(*rule.resolveWith);
        const auto reported = asks ? options.lookups->lookup(*rule.resolveWith) : std::nullopt;
        if (reported) {
          addIfFolder(rule, disk_path::normal(*reported), false);
          break;
        }
        for (const auto& pathTemplate : rule.paths)
          addIfFolder(rule, disk_path::normal(paths.expand(pathTemplate)), asks);
        break;
      }
      case Match::children:
        for (const auto& pathTemplate : rule.paths) {
          const auto root = disk_path::normal(paths.expand(pathTemplate));
          const int depth =
              static_cast<int>(std::clamp<int64_t>(rule.childDepth.value_or(1), 1, 8));
          platform::walkTree(root, [&](const platform::WalkEntry& entry) {
            if (!entry.isDirectory()) return platform::WalkAnswer::skip;
            if (entry.depth < depth) return platform::WalkAnswer::descend;
            const std::string name(entry.name);
            if (rule.childPrefix && !name.starts_with(*rule.childPrefix))
              return platform::WalkAnswer::skip;
            std::string lowered = name;
            std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            if (rule.id == rule_ids::appCaches && lowered.starts_with("com.apple."))
              return platform::WalkAnswer::skip;
            add(rule, entry.path(), false);
            return platform::WalkAnswer::skip;
          });
        }
        break;
      case Match::project:
        projectRules.push_back(&rule);
        break;
      case Match::docker:
        dockerRules.push_back(&rule);
        break;
      case Match::worktree:
        findWorktrees = true;
        break;
    }
  }

  // Project discovery over the home folder and the extra roots.
  std::vector<std::string> roots = {home};
  for (const auto& extra : options.rules.extraRoots) {
    const auto root = disk_path::normal(paths.expand(extra));
    int error = 0;
    const auto status = platform::lstatPath(root, error);
    const auto homeStatus = platform::lstatPath(home, error);
    if (!status) continue;
    if (homeStatus && status->device != homeStatus->device) {
      result.notScanned.push_back({root, NotScanned::Reason::otherVolume});
      continue;
    }
    roots.push_back(root);
  }
  std::vector<std::string> gitFolders;  // repositories and worktrees met
  for (const auto& root : roots) {
    platform::walkTree(
        root,
        [&](const platform::WalkEntry& entry) {
          if (options.cancel->isCancelled()) return platform::WalkAnswer::stop;
          if (!entry.isDirectory()) return platform::WalkAnswer::skip;
          const auto path = entry.path();
          if (leftOut.count(path) || excluder.excluded(entry.name, path))
            return platform::WalkAnswer::skip;
          if (root == home && entry.depth == 1 &&
              contextCategory(std::string(entry.name)) != DiskCategory::yourFiles)
            return platform::WalkAnswer::skip;
          if (entry.name == ".git") return platform::WalkAnswer::skip;
          for (const auto* rule : projectRules)
            if (matchesProjectRule(*rule, entry.name, std::string(entry.parent))) {
              add(*rule, path, true);
              return platform::WalkAnswer::skip;
            }
          if (entry.name == "node_modules") return platform::WalkAnswer::skip;
          Kind gitKind{};
          if (findWorktrees && exists(path + "/.git", &gitKind)) {
            gitFolders.push_back(path);
            // A linked worktree is one item, measured by one walk of its own.
            if (gitKind == Kind::file) return platform::WalkAnswer::skip;
          }
          return platform::WalkAnswer::descend;
        },
        static_cast<int>(options.rules.discoveryDepth));
  }

  // Worktrees: the ones met on the walk and every one their repositories list.
  const auto* worktreeRule = ruleSet.rule(rule_ids::gitWorktree);
  if (findWorktrees && worktreeRule && worktreeRule->match == Match::worktree)
    for (auto& entry : WorktreeIndex::build(gitFolders)) {
      if (leftOut.count(entry.path) ||
          excluder.excluded(std::filesystem::path(entry.path).filename().string(), entry.path))
        continue;
      if (!seen.insert({worktreeRule->id, entry.path}).second) continue;
      Candidate candidate{worktreeRule, entry.path, false, {}, std::nullopt, false, entry, {}};
      if (!entry.exists) candidate.measuredPath = entry.adminPath;
      candidates.push_back(std::move(candidate));
    }

  // Context: the top-level entries not covered by an item or left out.
  std::vector<std::string> topLevel;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(home, error)) {
    const auto path = entry.path().string();
    const auto name = entry.path().filename().string();
    if (leftOut.count(path) || excluder.excluded(name, path)) continue;
    if (std::any_of(candidates.begin(), candidates.end(),
                    [&](const Candidate& c) { return c.path == path; }))
      continue;
    topLevel.push_back(path);
  }
  std::vector<Measurement> topMeasurements;
  const auto walkers = static_cast<size_t>(std::max<int64_t>(options.rules.maxWalkers, 1));
  measureAll(candidates, topMeasurements, topLevel, walkers, *options.cancel);
  bool cancelled = options.cancel->isCancelled();

  // Files hard-linked between items are credited in equal parts.
  std::map<FileIdentity, uint64_t> holders;
  for (const auto& candidate : candidates)
    for (const auto& [identity, link] : candidate.measurement.multiLinks) ++holders[identity];

  const DiskProtectedList protectedList(home, options.rules.protectedPaths, options.settingsFolders,
                                        options.trashRoots);
  const auto now = options.now;
  for (const auto& candidate : candidates) {
    const auto& m = candidate.measurement;
    const auto& worktree = candidate.worktree;
    std::optional<Activity> activity;
    std::optional<std::string> projectPath;
    if (candidate.project) {
      projectPath = projectOf(candidate.path, home);
      const auto project =
          projectPath.value_or(std::filesystem::path(candidate.path).parent_path().string());
      activity = projectActivity(project, m.newest, options, liveness);
    } else if (worktree && worktree->exists && worktree->linked) {
      activity = projectActivity(candidate.path, m.newest, options, liveness);
    }
    // A stale worktree, or one whose folder is gone, falls under the stale rule.
    const LeftoverRule* chosen = candidate.rule;
    if (worktree && (!worktree->exists ||
                     (activity && activity->activity.kind == ProjectActivity::Kind::stale)))
      if (const auto* stale = ruleSet.rule(rule_ids::gitWorktreeStale);
          stale && stale->match == Match::worktree)
        chosen = stale;
    const auto& rule = *chosen;
    cancelled = cancelled || m.cancelled;
    if (candidate.project && m.bytes < options.minimumProjectItemBytes) continue;
    if (rule.olderThan && m.newest &&
        now - *m.newest < std::chrono::seconds(options.rules.agentHistoryDays * kDay))
      continue;
    DiskItem item;
    item.ruleID = rule.id;
    item.label = rule.label;
    item.tool = rule.tool;
    item.path = candidate.path;
    item.category = rule.category;
    item.safety = rule.safety;
    item.bytes = m.bytes;
    item.uniqueBytes = m.uniqueBytes;
    item.attributedBytes = m.uniqueBytes;
    for (const auto& [identity, link] : m.multiLinks)
      item.attributedBytes += link.bytes / std::max<uint64_t>(holders[identity], 1);
    item.fileCount = m.files;
    item.modified = m.newest;
    item.identity = candidate.identity;
    item.clean = rule.clean;
    item.ifRemoved = rule.ifRemoved;
    item.verified = rule.verified;
    item.partial = m.noAccess;
    item.containsGit = m.containsGit;
    for (const auto& [name, bytes] : m.children) item.children.push_back({name, bytes});
    std::sort(item.children.begin(), item.children.end(),
              [](const DiskChild& a, const DiskChild& b) { return a.bytes > b.bytes; });
    if (candidate.lookupFailed) {
      item.reasons.push_back("Couldn't ask " + rule.tool + " where its cache is");
      item.raiseSafety(DiskSafety::review);
    }

    if (activity) {
      item.activity = activity->activity;
      item.projectPath = projectPath;
      if (worktree) {
        item.mainRepoPath = worktree->mainRepoPath;
        item.reasons.push_back("Worktree of " + tildePath(worktree->mainRepoPath, home));
      }
      item.reasons.push_back(activity->reason);
      switch (activity->activity.kind) {
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
      if (repo)
        if (const auto killed = options.killedRepos.find(*repo);
            killed != options.killedRepos.end()) {
          const int64_t age = wholeDays(now, killed->second);
          item.reasons.push_back(age < 1 ? std::string("Its dev server was killed today")
                                         : "Its dev server was killed " + days(age) + " ago");
          item.serverKilledAt = killed->second;
        }
    } else if (worktree) {
      item.mainRepoPath = worktree->mainRepoPath;
      if (!worktree->exists) {
        // Only git's records of it are left; pruning them is the whole clean.
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
      item.reasons.push_back("Rule not verified on a real Mac yet");
      item.raiseSafety(DiskSafety::review);
    }
    if (!item.blocked)
      item.blocked = protectedList.check(item.path, item.containsGit, item.clean.isGitWorktree());
    if (!item.blocked) item.blocked = LivenessGuard::check(item, rule, liveness, now);
    item.id = escapedForID(tildePath(item.path, home)) + "#" + item.ruleID;
    result.items.push_back(std::move(item));
  }

  // Docker figures, from the engine itself.
  if (options.docker) {
    auto stats = loadDockerDiskUsage(*options.docker);
    if (const auto* usage = std::get_if<DockerStats>(&stats)) {
      result.docker = DockerDiskState::running;
      for (const auto* rule : dockerRules) {
        const auto& figure = usage->figure(*rule->dockerKind);
        DiskItem item;
        item.ruleID = rule->id;
        item.id = std::string(rawValue(*rule->dockerKind)) + "#" + rule->id;
        item.label = rule->label;
        item.tool = rule->tool;
        item.path = std::string(rawValue(*rule->dockerKind));
        item.category = rule->category;
        item.safety = rule->effectiveSafety();
        item.bytes = item.uniqueBytes = item.attributedBytes = figure.reclaimableBytes;
        item.fileCount = figure.count;
        item.clean = rule->clean;
        item.ifRemoved = rule->ifRemoved;
        item.verified = rule->verified;
        if (!rule->verified) item.reasons.push_back("Rule not verified on a real Mac yet");
        result.items.push_back(std::move(item));
      }
    } else {
      result.docker = options.docker->socketPath() ? DockerDiskState::notRunning
                                                   : DockerDiskState::notInstalled;
    }
  }

  // Context totals: each top-level entry less the items measured inside it.
  std::map<DiskCategory, DiskContext> totals;
  for (size_t i = 0; i < topLevel.size(); ++i) {
    uint64_t bytes = topMeasurements[i].bytes;
    for (const auto& item : result.items)
      // Items measured where they stand; a gone worktree's records live elsewhere.
      if (item.identity && disk_path::isWithin(item.path, topLevel[i]))
        bytes -= std::min(bytes, item.bytes);
    const auto category = contextCategory(std::filesystem::path(topLevel[i]).filename().string());
    auto& total = totals[category];
    total.category = category;
    total.path = home;
    total.bytes += bytes;
    cancelled = cancelled || topMeasurements[i].cancelled;
  }
  for (const auto category : kDiskCategories)
    if (totals.count(category)) result.context.push_back(totals[category]);

  for (const auto& trash : options.trashRoots)
    if (exists(trash)) {
      const auto m = measure(trash, *options.cancel, walkers);
      result.trashBytes = result.trashBytes.value_or(0) + m.bytes;
    }
  result.complete = !cancelled && !options.cancel->isCancelled();
  return result;
}

}  // namespace glimmet
