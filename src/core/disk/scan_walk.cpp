// ScanWalk: the scan's decisions taken from each folder's listing as the one
// walk passes it.
#include "core/disk/scan_walk.h"

#include <fnmatch.h>

#include <algorithm>

#include "core/disk/disk_finding.h"
#include "platform/child_path.h"
#include "platform/file_system.h"

namespace glimmet {
namespace {

using platform::childPath;

std::string_view lastComponent(std::string_view path) {
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool listed(std::span<const platform::ListedEntry> entries, std::string_view name) {
  return std::any_of(entries.begin(), entries.end(),
                     [&](const platform::ListedEntry& entry) { return entry.name == name; });
}

// A project rule's folder: by name or prefix, with one of its siblings beside
// it and inside a folder it names, when the rule asks.
bool matchesProjectRule(const LeftoverRule& rule, std::string_view name,
                        std::span<const platform::ListedEntry> siblings, std::string_view holder) {
  const bool named =
      std::find(rule.names.begin(), rule.names.end(), name) != rule.names.end() ||
      std::any_of(rule.namePrefixes.begin(), rule.namePrefixes.end(),
                  [&](const std::string& prefix) { return name.starts_with(prefix); });
  if (!named) return false;
  if (!rule.siblings.empty() &&
      std::none_of(rule.siblings.begin(), rule.siblings.end(),
                   [&](const std::string& sibling) { return listed(siblings, sibling); }))
    return false;
  return rule.inside.empty() ||
         std::find(rule.inside.begin(), rule.inside.end(), holder) != rule.inside.end();
}

bool isAppleCache(std::string_view name) {
  std::string lowered(name.substr(0, 10));
  std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lowered == "com.apple.";
}

}  // namespace

KnownFolder& KnownFolder::at(std::string_view name) {
  auto found = below.find(name);
  if (found == below.end())
    found = below.emplace(std::string(name), std::make_unique<KnownFolder>()).first;
  return *found->second;
}

const KnownFolder* KnownFolder::find(std::string_view name) const {
  if (below.empty()) return nullptr;
  const auto found = below.find(name);
  return found == below.end() ? nullptr : found->second.get();
}

bool excludedByPattern(const std::vector<std::string>& patterns, const std::string& home,
                       std::string_view name, const std::string& path) {
  if (patterns.empty()) return false;
  const std::string nameText(name);
  const std::string relative =
      path.size() > home.size() && path.starts_with(home) && path[home.size()] == '/'
          ? path.substr(home.size() + 1)
          : path;
  return std::any_of(patterns.begin(), patterns.end(), [&](const std::string& pattern) {
    return ::fnmatch(pattern.c_str(), nameText.c_str(), 0) == 0 ||
           ::fnmatch(pattern.c_str(), relative.c_str(), 0) == 0 ||
           ::fnmatch(pattern.c_str(), path.c_str(), 0) == 0;
  });
}

ScanWalk::ScanWalk(const ScanWalkSetup& setup, const KnownFolder& known,
                   std::set<std::pair<std::string, std::string>> seen)
    : setup_(setup), known_(known), seen_(std::move(seen)) {
  for (const auto* rule : setup_.projectRules) {
    projectRuleNames_.insert(rule->names.begin(), rule->names.end());
    projectRulePrefixes_.insert(projectRulePrefixes_.end(), rule->namePrefixes.begin(),
                                rule->namePrefixes.end());
  }
}

bool ScanWalk::mayMatchProjectRule(std::string_view name) const {
  return projectRuleNames_.count(name) > 0 ||
         std::any_of(projectRulePrefixes_.begin(), projectRulePrefixes_.end(),
                     [&](std::string_view prefix) { return name.starts_with(prefix); });
}

platform::WalkScopePtr ScanWalk::homeScope() const {
  auto scope = std::make_shared<ScanScope>();
  scope->path = setup_.home;
  scope->known = &known_;
  scope->homeRoot = true;
  scope->withinHome = true;
  scope->discoverBelow = true;
  return scope;
}

platform::WalkScopePtr ScanWalk::discoveryScope(const std::string& root) const {
  auto scope = std::make_shared<ScanScope>();
  scope->path = root;
  scope->discoverBelow = true;
  return scope;
}

platform::WalkScopePtr ScanWalk::itemScope(const std::string& root, TreeTally* tally,
                                           std::vector<ChildrenRuleWalk> childrenRules) const {
  auto scope = std::make_shared<ScanScope>();
  scope->path = root;
  if (tally) scope->targets.push_back({tally, ScanScope::kRoot});
  scope->childrenRules = std::move(childrenRules);
  return scope;
}

bool ScanWalk::excluded(std::string_view name, const std::string& path) const {
  return excludedByPattern(setup_.excludePatterns, setup_.home, name, path);
}

std::shared_ptr<TreeTally> ScanWalk::addFound(const LeftoverRule& rule, const std::string& path,
                                              bool project,
                                              const std::optional<std::string>& projectPath) {
  const auto identity = platform::linkIdentity(path);
  std::lock_guard lock(mutex_);
  if (!seen_.insert({rule.id, path}).second) return nullptr;
  auto tally = newTally();
  found_.push_back({&rule, path, project, projectPath, tally, identity});
  return tally;
}

// A folder project discovery looks at that holds `git`: a repository, and a
// linked worktree (its `.git` a file), which is one item that discovery does
// not search.
void ScanWalk::noteRepository(ScanScope& here, const platform::ListedEntry& git) {
  if (!here.discoveryVisited || !setup_.findWorktrees) return;
  std::lock_guard lock(mutex_);
  gitFolders_.push_back(here.path);
  if (!git.regular) return;
  here.discoverBelow = false;
  // Measured now, in case git's records make it an item once the walk is over.
  auto tally = newTally();
  worktreeTallies_[here.path] = tally;
  here.targets.push_back({tally.get(), ScanScope::kRoot});
}

void ScanWalk::folder(size_t worker, const platform::WalkScopePtr& scope,
                      std::span<const platform::ListedEntry> entries,
                      std::span<platform::WalkScopePtr> enter) {
  auto& here = static_cast<ScanScope&>(*scope);
  const auto git = std::find_if(entries.begin(), entries.end(),
                                [](const platform::ListedEntry& e) { return e.name == ".git"; });
  const bool holdsGit = git != entries.end();
  if (holdsGit) noteRepository(here, *git);
  bool measuredFromHere = false;
  for (const auto& target : here.targets) {
    if (target.child == ScanScope::kRoot) {
      target.tally->nameChildren(entries);
      measuredFromHere = true;
    }
    if (holdsGit) target.tally->sawGit(worker);
  }
  if (setup_.progress) {
    setup_.progress->folderListed();
    if (measuredFromHere) setup_.progress->entered(here.path);
  }
  // The nearest folder holding `.git`, up to the home folder, is the project.
  const auto project =
      here.withinHome && holdsGit ? std::make_shared<const std::string>(here.path) : here.project;
  const bool worktreeRecords = setup_.findWorktrees && here.path.ends_with("/.git/worktrees");

  for (size_t i = 0; i < entries.size(); ++i) {
    if (!entries[i].folder) continue;
    const auto name = entries[i].name;
    const auto* known = here.known ? here.known->find(name) : nullptr;
    if (known && known->leftOut) continue;
    auto child = std::make_shared<ScanScope>();
    child->path = childPath(here.path, name);
    if (excluded(name, child->path)) continue;
    child->known = known;
    child->withinHome = here.withinHome;
    child->project = project;
    for (const auto& target : here.targets)
      child->targets.push_back({target.tally, target.child == ScanScope::kRoot ? i : target.child});
    const size_t inherited = child->targets.size();
    if (known) {
      for (const auto& tally : known->items)
        child->targets.push_back({tally.get(), ScanScope::kRoot});
      child->childrenRules = known->childrenRules;
    }
    applyChildrenRules(here, name, *child);
    if (here.discoverBelow) discover(here, entries, i, project, *child);
    if (known && known->discoveryRoot) {
      child->discoverBelow = true;
      child->discoveryDepth = 0;
    }
    if (worktreeRecords) {
      auto tally = newTally();
      child->targets.push_back({tally.get(), ScanScope::kRoot});
      std::lock_guard lock(mutex_);
      worktreeTallies_[child->path] = std::move(tally);
    }
    if (here.homeRoot && child->targets.size() == inherited) {  // not an item: a context entry
      auto tally = newTally();
      child->targets.push_back({tally.get(), ScanScope::kRoot});
      topLevel_.push_back({child->path, std::move(tally), std::nullopt});
    }
    if (!child->targets.empty() || child->discoveryVisited || child->discoverBelow ||
        child->known || !child->childrenRules.empty())
      enter[i] = std::move(child);
  }
}

// Project discovery of one subfolder: an item of a project rule, or a folder
// discovery goes on into, or one it passes (the home folder's tool folders,
// `.git`, and `node_modules`, measured but never searched).
void ScanWalk::discover(const ScanScope& parent, std::span<const platform::ListedEntry> entries,
                        size_t position, const std::shared_ptr<const std::string>& project,
                        ScanScope& child) {
  const auto name = entries[position].name;
  child.discoveryDepth = parent.discoveryDepth + 1;
  if (parent.homeRoot && contextCategory(std::string(name)) != DiskCategory::yourFiles) return;
  if (name == ".git") return;
  if (mayMatchProjectRule(name))
    for (const auto* rule : setup_.projectRules)
      if (matchesProjectRule(*rule, name, entries, lastComponent(parent.path))) {
        if (auto tally =
                addFound(*rule, child.path, true, project ? std::optional(*project) : std::nullopt))
          child.targets.push_back({tally.get(), ScanScope::kRoot});
        return;
      }
  if (name == "node_modules") return;
  child.discoveryVisited = true;
  child.discoverBelow = child.discoveryDepth < setup_.discoveryDepth;
}

// Children rules list down to their items: at the last level each subfolder
// (with the rule's prefix) is one.
void ScanWalk::applyChildrenRules(const ScanScope& parent, std::string_view name,
                                  ScanScope& child) {
  for (const auto& walk : parent.childrenRules) {
    if (walk.levelsLeft > 1) {
      child.childrenRules.push_back({walk.rule, walk.levelsLeft - 1});
      continue;
    }
    const auto& rule = *walk.rule;
    if (rule.childPrefix && !name.starts_with(*rule.childPrefix)) continue;
    if (rule.id == rule_ids::appCaches && isAppleCache(name)) continue;
    if (auto tally = addFound(rule, child.path, false, std::nullopt))
      child.targets.push_back({tally.get(), ScanScope::kRoot});
  }
}

void ScanWalk::file(size_t worker, platform::WalkScope& scope, size_t position,
                    std::string_view name, const platform::FileStatus& status) {
  const auto& here = static_cast<const ScanScope&>(scope);
  if (setup_.progress) setup_.progress->counted(status.blocks512 * 512);
  for (const auto& target : here.targets)
    target.tally->count(worker, target.child == ScanScope::kRoot ? position : target.child, status);
  if (!here.homeRoot) return;
  const auto* known = here.known ? here.known->find(name) : nullptr;
  if (!(known && (known->leftOut || !known->items.empty()))) {
    auto path = childPath(here.path, name);
    if (!excluded(name, path))
      topLevel_.push_back({std::move(path), nullptr, measureEntry(status, name == ".git")});
  }
}

void ScanWalk::refused(platform::WalkScope& scope) {
  for (const auto& target : static_cast<const ScanScope&>(scope).targets) target.tally->refuse();
}

bool ScanWalk::stopped() {
  return setup_.cancel && setup_.cancel->isCancelled();
}

std::vector<FoundFolder> ScanWalk::takeFound() {
  std::lock_guard lock(mutex_);
  return std::move(found_);
}

std::vector<std::string> ScanWalk::takeGitFolders() {
  std::lock_guard lock(mutex_);
  std::sort(gitFolders_.begin(), gitFolders_.end());
  return std::move(gitFolders_);
}

std::map<std::string, std::shared_ptr<TreeTally>> ScanWalk::takeWorktreeTallies() {
  std::lock_guard lock(mutex_);
  return std::move(worktreeTallies_);
}

}  // namespace glimmet
