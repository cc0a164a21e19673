// What cleaning the chosen items of a scan would do: a step per item that may
// be cleaned, a skip with its reason for every item that may not, and commands
// left for the user to copy. Planning re-checks every item against the disk,
// the protected places and what is running now; it never fails, it skips.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/disk/disk_item.h"
#include "core/disk/leftover_rules.h"
#include "core/safety/disk_protected_list.h"
#include "core/safety/liveness_guard.h"
#include "core/tools/tool_locator.h"

namespace glimmet {

struct CleanupStep {
  enum class Action { toolCommand, trash, gitWorktreeRemove, gitWorktreePrune };

  DiskItem item;
  Action action = Action::trash;
  std::optional<std::vector<std::string>> argv;  ///< program first, an absolute path
  std::optional<std::vector<std::string>> stopFirst;
  std::optional<std::string> note;
  double timeout = 600;
  /// For agent chats: the folder they are copied to before they move to the Trash.
  std::optional<std::string> archiveTo;

  bool runsCommand() const { return argv.has_value(); }
};

std::string_view rawValue(CleanupStep::Action action);

struct SkippedItem {
  DiskItem item;
  std::string reason;
};

struct CopyOnlyCommand {
  DiskItem item;
  std::string command;  ///< shell-quoted, for the user to paste
};

struct PlanHolder {
  pid_t pid = 0;
  std::optional<SystemTime> startTime;
  std::string name;
  std::string itemID;
};

struct CleanupPlan {
  std::string id;
  SystemTime createdAt;
  std::string home;
  std::vector<CleanupStep> steps;
  std::vector<SkippedItem> skipped;
  std::vector<CopyOnlyCommand> copyOnly;
  std::vector<PlanHolder> holders;
};

/// A step, or the reason the item gets none.
using Resolution = std::variant<CleanupStep, std::string>;
/// The item re-measured now, or the reason to leave it alone.
using Revalidation = std::variant<DiskItem, std::string>;

/// Skip reasons, shown to the user as they are.
namespace skip_reason {
inline constexpr std::string_view reportOnly = "Report only";
inline constexpr std::string_view ruleChanged = "Its rule changed since the scan. Scan again.";
inline constexpr std::string_view alreadyGone = "Already gone";
inline constexpr std::string_view nowSymlink = "Changed since the scan: it's a symlink now";
inline constexpr std::string_view linkOnTheWay =
    "Changed since the scan: a folder on the way is a symlink now";
inline constexpr std::string_view noIdentity = "Couldn't confirm it's the same folder. Scan again.";
inline constexpr std::string_view changed = "Changed since the scan";
inline constexpr std::string_view noAccess =
    "Some folders inside can't be read, so Glimmet leaves it alone";
inline constexpr std::string_view chatUsedAgain =
    "Changed since the scan: a chat here was used again";
inline constexpr std::string_view noMainRepo = "Couldn't find the main repo";
inline constexpr std::string_view noGit = "git isn't installed";
inline constexpr std::string_view noCommand = "No command for this item";
}  // namespace skip_reason

/// Agent-history items that would move to the Trash are archived to `folder`
/// first; other steps stay as they are.
void archiveAgentHistory(CleanupPlan& plan, const std::string& folder);

/// The rule's arguments with {path}, {name}, {project}, {repo} and {hfRepoID}
/// filled in; nothing when an expanded argument could reach further than the
/// item (an option, a line break, "all", "*", an empty word and the like).
std::optional<std::vector<std::string>> expandCleanArguments(const std::vector<std::string>& argv,
                                                             const DiskItem& item);

/// "models--org--name" is the model repository "org/name"; any other folder
/// name is taken as it is.
std::string huggingFaceRepoID(const std::string& folderName);

/// What an item of the scan cache is cleaned with: its rule's action, as the
/// rule file says now. The cache only names items (path, rule id, identity and
/// what the scan measured), so an action it holds is never run; what the scan
/// found may only make it do less: nothing for an item it reported only, and
/// git's prune instead of remove for a worktree whose folder was already gone.
CleanAction cleanActionFor(const DiskItem& cached, const LeftoverRule& rule);

/// The cached item with what its rule says: action, label, tool, category and
/// what removing it means; its safety never below the rule's.
DiskItem withRule(const DiskItem& cached, const LeftoverRule& rule);

class CleanupPlanner {
 public:
  CleanupPlanner(DiskProtectedList protectedList, const LeftoverRuleSet& rules,
                 const ToolLocator& locator)
      : protected_(std::move(protectedList)), rules_(rules), locator_(locator) {}

  /// Items in the order given.
  CleanupPlan plan(const std::vector<DiskItem>& items, const std::string& home,
                   const LivenessInput& liveness, SystemTime now) const;

  /// The step for an item that passed the checks, by its rule's clean action.
  Resolution resolve(const DiskItem& item, const LeftoverRule& rule) const;

  /// Checks that the path still names the measured folder and measures it again.
  Revalidation revalidate(const DiskItem& item) const;

  /// For a worktree whose folder was gone at scan time: why its records can't
  /// be pruned now (the folder is back, or the main repository went).
  static std::optional<std::string> recheckGoneWorktree(const DiskItem& item);

 private:
  DiskProtectedList protected_;
  const LeftoverRuleSet& rules_;
  const ToolLocator& locator_;
};

}  // namespace glimmet
