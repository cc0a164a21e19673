// The one walk of a disk scan. Every folder it reaches is listed once and every
// other entry stat'ed once, and each count goes at once to every tree it lies
// in: the item it belongs to (an item inside another counts in both) and the
// top-level entry of the home folder it is part of, for the context totals.
// Project discovery, children rules and linked worktrees are decided from the
// listings themselves as the walk passes, so that finding costs no call of
// its own and no folder is measured twice.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/disk/disk_scan_progress.h"
#include "core/disk/leftover_rules.h"
#include "core/disk/tree_tally.h"
#include "platform/parallel_tree_walk.h"

namespace glimmet {

/// A folder found to be an item while the walk passes it.
struct FoundFolder {
  const LeftoverRule* rule = nullptr;
  std::string path;
  bool project = false;
  std::optional<std::string> projectPath;  ///< the nearest folder above holding `.git`
  std::shared_ptr<TreeTally> tally;
  /// Taken as the walk meets it, by the walker that does, rather than one by
  /// one once the walk is over.
  std::optional<FileIdentity> identity;
};

/// A children rule still listing down to its items.
struct ChildrenRuleWalk {
  const LeftoverRule* rule = nullptr;
  int levelsLeft = 1;  ///< 1: this folder's subfolders are the items
};

/// What is known before the walk about places below the home folder: items
/// named by path, roots of children rules, folders left out, extra roots.
struct KnownFolder {
  std::map<std::string, std::unique_ptr<KnownFolder>, std::less<>> below;
  std::vector<std::shared_ptr<TreeTally>> items;  ///< items standing here
  std::vector<ChildrenRuleWalk> childrenRules;
  bool leftOut = false;
  bool discoveryRoot = false;

  KnownFolder& at(std::string_view name);
  const KnownFolder* find(std::string_view name) const;
};

/// What the walk needs from the scan around it.
struct ScanWalkSetup {
  std::string home;
  std::vector<const LeftoverRule*> projectRules;
  int discoveryDepth = 4;
  bool findWorktrees = false;
  std::vector<std::string> excludePatterns;
  size_t walkers = 1;
  const CancelFlag* cancel = nullptr;
  DiskScanProgress* progress = nullptr;
};

/// The trees one folder counts towards. A folder rarely lies in more than a
/// few, so they are kept inline: a scope is made for every folder walked, and
/// a list on the heap beside each would double what that costs.
struct ScanTarget {
  static constexpr size_t kRoot = static_cast<size_t>(-1);
  TreeTally* tally;
  size_t child;  ///< the first component below the tally's root, or kRoot here
};

class ScanTargets {
 public:
  void push_back(const ScanTarget& target) {
    if (spilled_.empty() && size_ < inline_.size()) {
      inline_[size_++] = target;
      return;
    }
    if (spilled_.empty()) spilled_.assign(inline_.begin(), inline_.end());
    spilled_.push_back(target);
    ++size_;
  }
  const ScanTarget* begin() const { return spilled_.empty() ? inline_.data() : spilled_.data(); }
  const ScanTarget* end() const { return begin() + size_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

 private:
  std::array<ScanTarget, 4> inline_{};
  size_t size_ = 0;
  std::vector<ScanTarget> spilled_;
};

/// One folder of the walk and what it counts towards.
struct ScanScope : platform::WalkScope {
  static constexpr size_t kRoot = ScanTarget::kRoot;
  std::string path;
  ScanTargets targets;
  const KnownFolder* known = nullptr;
  std::vector<ChildrenRuleWalk> childrenRules;  ///< applied to this folder's subfolders
  bool homeRoot = false;
  bool withinHome = false;
  bool discoveryVisited = false;  ///< project discovery looked at this folder
  bool discoverBelow = false;     ///< and goes on to its subfolders
  int discoveryDepth = 0;         ///< below the discovery root
  /// The nearest folder above holding `.git`, shared by every folder below it.
  std::shared_ptr<const std::string> project;
};

class ScanWalk : public platform::TreeVisitor {
 public:
  /// `seen` holds the (rule id, path) pairs already found before the walk.
  ScanWalk(const ScanWalkSetup& setup, const KnownFolder& known,
           std::set<std::pair<std::string, std::string>> seen);

  /// The home folder's scope, and the scopes of other roots.
  platform::WalkScopePtr homeScope() const;
  platform::WalkScopePtr discoveryScope(const std::string& root) const;
  /// A root measured for one tally (none for a children rule's root).
  platform::WalkScopePtr itemScope(const std::string& root, TreeTally* tally,
                                   std::vector<ChildrenRuleWalk> childrenRules = {}) const;

  void folder(size_t worker, const platform::WalkScopePtr& scope,
              std::span<const platform::ListedEntry> entries,
              std::span<platform::WalkScopePtr> enter) override;
  void file(size_t worker, platform::WalkScope& scope, size_t position, std::string_view name,
            const platform::FileStatus& status) override;
  void refused(platform::WalkScope& scope) override;
  bool stopped() override;

  struct TopLevel {
    std::string path;
    std::shared_ptr<TreeTally> tally;        ///< a folder
    std::optional<Measurement> measurement;  ///< anything else
  };

  /// What the walk found, once it has ended.
  std::vector<FoundFolder> takeFound();
  std::vector<TopLevel> takeTopLevel() { return std::move(topLevel_); }
  std::vector<std::string> takeGitFolders();
  /// Linked worktrees and worktree records met on the way, by path.
  std::map<std::string, std::shared_ptr<TreeTally>> takeWorktreeTallies();

 private:
  platform::WalkScopePtr childScope(const ScanScope& parent, size_t position,
                                    std::string_view name) const;
  bool excluded(std::string_view name, const std::string& path) const;
  void discover(const ScanScope& parent, std::span<const platform::ListedEntry> entries,
                size_t position, const std::shared_ptr<const std::string>& project,
                ScanScope& child);
  void applyChildrenRules(const ScanScope& parent, std::string_view name, ScanScope& child);
  void noteRepository(ScanScope& here, const platform::ListedEntry& git);
  std::shared_ptr<TreeTally> addFound(const LeftoverRule& rule, const std::string& path,
                                      bool project, const std::optional<std::string>& projectPath);
  std::shared_ptr<TreeTally> newTally() const {
    return std::make_shared<TreeTally>(setup_.walkers);
  }

  /// Whether a folder so named could be a project rule's at all: most folders
  /// discovery passes are not, and are told so by one lookup.
  bool mayMatchProjectRule(std::string_view name) const;

  const ScanWalkSetup& setup_;
  const KnownFolder& known_;
  std::unordered_set<std::string_view> projectRuleNames_;  ///< owned by the rules
  std::vector<std::string_view> projectRulePrefixes_;

  std::mutex mutex_;  ///< guards what follows, written from any walker
  std::vector<FoundFolder> found_;
  std::set<std::pair<std::string, std::string>> seen_;  ///< (rule id, path)
  std::vector<std::string> gitFolders_;
  std::map<std::string, std::shared_ptr<TreeTally>> worktreeTallies_;
  std::vector<TopLevel> topLevel_;  ///< written only while listing the home folder
};

/// Whether `path` matches one of the shell patterns, by its name, its path
/// relative to `home` or its whole path.
bool excludedByPattern(const std::vector<std::string>& patterns, const std::string& home,
                       std::string_view name, const std::string& path);

}  // namespace glimmet
