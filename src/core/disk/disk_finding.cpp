// findLeftovers: the candidates of every rule, the home folder's entries left
// for the context totals, and what was left out.
#include "core/disk/disk_finding.h"

#include <fnmatch.h>

#include <algorithm>
#include <map>
#include <set>

#include "core/disk/disk_paths.h"
#include "platform/file_system.h"
#include "platform/tree_walk.h"

namespace glimmet {
namespace {

using Match = LeftoverRule::Match;
using Kind = platform::FileStatus::Kind;

// Top-level folders of the home folder that are never walked as part of it.
const std::set<std::string> kNeverWalked = {"Library", ".Trash"};
const std::set<std::string> kPersonalMedia = {"Pictures", "Music", "Movies", "Videos"};

std::optional<Kind> kindOf(const std::string& path) {
  const auto status = platform::linkStatus(path);
  return status ? std::optional(status->kind) : std::nullopt;
}

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

bool matchesProjectRule(const LeftoverRule& rule, std::string_view name,
                        const std::string& parent) {
  const bool named =
      std::find(rule.names.begin(), rule.names.end(), name) != rule.names.end() ||
      std::any_of(rule.namePrefixes.begin(), rule.namePrefixes.end(),
                  [&](const std::string& prefix) { return name.starts_with(prefix); });
  if (!named) return false;
  // Siblings: at least one of the named files stands next to the folder.
  if (!rule.siblings.empty() &&
      std::none_of(rule.siblings.begin(), rule.siblings.end(), [&](const std::string& sibling) {
        return platform::entryExists(parent + "/" + sibling);
      }))
    return false;
  if (!rule.inside.empty()) {
    const auto holder = std::filesystem::path(parent).filename().string();
    if (std::find(rule.inside.begin(), rule.inside.end(), holder) == rule.inside.end())
      return false;
  }
  return true;
}

// The search for one scan: what it has found so far, and what it skips.
class Finder {
 public:
  Finder(const LeftoverRuleSet& rules, const DiskScanOptions& options)
      : rules_(rules),
        options_(options),
        home_(options.home),
        paths_(options.home, options.environment),
        excluder_(options.rules.excludePatterns, options.home) {}

  DiskFindings run() {
    leaveOut();
    addRuleFolders();
    discoverProjects();
    addWorktrees();
    listTopLevel();
    return std::move(found_);
  }

 private:
  // Folders left out of the home walk, and why.
  void leaveOut() {
    for (const auto& name : kNeverWalked) leftOut_.insert(home_ + "/" + name);
    for (const auto& name : kPersonalMedia)
      if (platform::entryExists(home_ + "/" + name)) {
        leftOut_.insert(home_ + "/" + name);
        found_.notScanned.push_back({home_ + "/" + name, NotScanned::Reason::personalMedia});
      }
    if (!options_.rules.includeProtectedFolders)
      for (const auto& folder : options_.consentFolders)
        if (platform::entryExists(folder)) {
          leftOut_.insert(folder);
          found_.notScanned.push_back({folder, NotScanned::Reason::needsConsent});
        }
    for (const auto& trash : options_.trashRoots) leftOut_.insert(trash);
  }

  void add(const LeftoverRule& rule, std::string path, bool project, bool lookupFailed = false) {
    if (excluder_.excluded(std::filesystem::path(path).filename().string(), path)) return;
    if (!seen_.insert({rule.id, path}).second) return;
    found_.candidates.push_back({&rule, std::move(path), project, {}, std::nullopt, lookupFailed});
  }

  void addIfFolder(const LeftoverRule& rule, const std::string& path, bool lookupFailed) {
    const auto kind = kindOf(path);
    if (kind && *kind != Kind::symlink) add(rule, path, false, lookupFailed);
  }

  // Path and children rules name their folders; the others are kept for the
  // walk (project), the worktree index (worktree) and the engine (docker).
  void addRuleFolders() {
    for (const auto& rule : rules_.rules) {
      switch (rule.match) {
        case Match::path:
          addPathRule(rule);
          break;
        case Match::children:
          addChildren(rule);
          break;
        case Match::project:
          projectRules_.push_back(&rule);
          break;
        case Match::docker:
          found_.dockerRules.push_back(&rule);
          break;
        case Match::worktree:
          findWorktrees_ = true;
          break;
      }
    }
  }

  // The folder a tool reports replaces the rule's guesses; when it can't be
  // asked, the guesses stand, marked as such.
  void addPathRule(const LeftoverRule& rule) {
    const bool asks = rule.resolveWith && options_.allowLookups && options_.lookups &&
                      options_.lookups->shouldAsk(*rule.resolveWith);
    const auto reported = asks ? options_.lookups->lookup(*rule.resolveWith) : std::nullopt;
    if (reported) {
      addIfFolder(rule, disk_path::normal(*reported), false);
      return;
    }
    for (const auto& pathTemplate : rule.paths)
      addIfFolder(rule, disk_path::normal(paths_.expand(pathTemplate)), asks);
  }

  void addChildren(const LeftoverRule& rule) {
    for (const auto& pathTemplate : rule.paths) {
      const auto root = disk_path::normal(paths_.expand(pathTemplate));
      const int depth = static_cast<int>(std::clamp<int64_t>(rule.childDepth.value_or(1), 1, 8));
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
  }

  // Project discovery over the home folder and the extra roots on its volume.
  void discoverProjects() {
    std::vector<std::string> roots = {home_};
    for (const auto& extra : options_.rules.extraRoots) {
      const auto root = disk_path::normal(paths_.expand(extra));
      const auto status = platform::linkStatus(root);
      const auto homeStatus = platform::linkStatus(home_);
      if (!status) continue;
      if (homeStatus && status->device != homeStatus->device) {
        found_.notScanned.push_back({root, NotScanned::Reason::otherVolume});
        continue;
      }
      roots.push_back(root);
    }
    for (const auto& root : roots)
      platform::walkTree(
          root, [&](const platform::WalkEntry& entry) { return visit(root, entry); },
          static_cast<int>(options_.rules.discoveryDepth));
  }

  platform::WalkAnswer visit(const std::string& root, const platform::WalkEntry& entry) {
    if (options_.cancel->isCancelled()) return platform::WalkAnswer::stop;
    if (!entry.isDirectory()) return platform::WalkAnswer::skip;
    const auto path = entry.path();
    if (leftOut_.count(path) || excluder_.excluded(entry.name, path))
      return platform::WalkAnswer::skip;
    if (root == home_ && entry.depth == 1 &&
        contextCategory(std::string(entry.name)) != DiskCategory::yourFiles)
      return platform::WalkAnswer::skip;
    if (entry.name == ".git") return platform::WalkAnswer::skip;
    for (const auto* rule : projectRules_)
      if (matchesProjectRule(*rule, entry.name, std::string(entry.parent))) {
        add(*rule, path, true);
        return platform::WalkAnswer::skip;
      }
    if (entry.name == "node_modules") return platform::WalkAnswer::skip;
    if (findWorktrees_)
      if (const auto gitKind = kindOf(path + "/.git")) {
        gitFolders_.push_back(path);
        // A linked worktree is one item, measured by one walk of its own.
        if (*gitKind == Kind::file) return platform::WalkAnswer::skip;
      }
    return platform::WalkAnswer::descend;
  }

  // Worktrees: the ones met on the walk and every one their repositories list.
  void addWorktrees() {
    const auto* rule = rules_.rule(rule_ids::gitWorktree);
    if (!findWorktrees_ || !rule || rule->match != Match::worktree) return;
    for (auto& entry : WorktreeIndex::build(gitFolders_)) {
      if (leftOut_.count(entry.path) ||
          excluder_.excluded(std::filesystem::path(entry.path).filename().string(), entry.path))
        continue;
      if (!seen_.insert({rule->id, entry.path}).second) continue;
      Candidate candidate{rule, entry.path, false, {}, std::nullopt, false, entry, {}};
      if (!entry.exists) candidate.measuredPath = entry.adminPath;
      found_.candidates.push_back(std::move(candidate));
    }
  }

  // Context: the top-level entries not covered by an item or left out.
  void listTopLevel() {
    const auto listing = platform::listFolder(home_);
    if (!listing) return;
    for (const auto& entry : *listing) {
      const auto path = (std::filesystem::path(home_) / entry.name).string();
      if (leftOut_.count(path) || excluder_.excluded(entry.name, path)) continue;
      if (std::any_of(found_.candidates.begin(), found_.candidates.end(),
                      [&](const Candidate& c) { return c.path == path; }))
        continue;
      found_.topLevel.push_back(path);
    }
  }

  const LeftoverRuleSet& rules_;
  const DiskScanOptions& options_;
  const std::string& home_;
  const DiskPaths paths_;
  const Excluder excluder_;

  DiskFindings found_;
  std::set<std::string> leftOut_;
  std::set<std::pair<std::string, std::string>> seen_;  // (rule id, path)
  std::vector<const LeftoverRule*> projectRules_;
  bool findWorktrees_ = false;
  std::vector<std::string> gitFolders_;  // repositories and worktrees met
};

}  // namespace

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

DiskFindings findLeftovers(const LeftoverRuleSet& rules, const DiskScanOptions& options) {
  return Finder(rules, options).run();
}

}  // namespace glimmet
