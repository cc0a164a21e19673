// The leftover rule file, leftovers.json: every disk leftover the tool measures
// or cleans is one of its rules. The tool knows no leftover by name; it knows
// this format, how to find the file and how to validate it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/disk/clean_action.h"
#include "core/disk/disk_vocabulary.h"
#include "platform/environment.h"

namespace glimmet {

/// What disk commands print when the rule file is missing or doesn't load.
inline constexpr std::string_view kMissingLeftoverRulesMessage =
    "Couldn't find Glimmet's leftover rules. Glimmet looks for leftovers.json in share/glimmet "
    "beside the folder of its binary; set GLIMMET_LEFTOVERS to use another file.";

/// The file is not there, can't be read, or isn't JSON of the rule format.
class RuleFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// A rule that decodes but breaks a safety rule. `reason` is the short form
/// ("duplicate id", "banned program rm"); `explanation` says why in words the
/// user reads ("its clean command runs a shell (sh)").
class RuleError : public RuleFileError {
 public:
  RuleError(std::string ruleID, std::string reason, std::string explanation)
      : RuleFileError("rule " + ruleID + ": " + reason),
        ruleID_(std::move(ruleID)),
        reason_(std::move(reason)),
        explanation_(std::move(explanation)) {}
  const std::string& ruleID() const { return ruleID_; }
  const std::string& reason() const { return reason_; }
  const std::string& explanation() const { return explanation_; }

  /// Rule "x" in FILE is not valid: why.
  std::string userMessage(const std::string& file) const;

 private:
  std::string ruleID_;
  std::string reason_;
  std::string explanation_;
};

struct LeftoverRule {
  enum class Match { path, children, project, worktree, docker };
  /// Only entries older than the user's agentHistoryDays.
  enum class Age { agentHistory };

  std::string id;
  std::string label;
  std::string tool;
  DiskCategory category = DiskCategory::yourFiles;
  DiskSafety safety = DiskSafety::review;
  Match match = Match::path;
  std::vector<std::string> paths;
  std::optional<int64_t> childDepth;
  std::optional<std::string> childPrefix;
  std::optional<Age> olderThan;
  std::vector<std::string> names;
  std::vector<std::string> namePrefixes;
  std::vector<std::string> siblings;
  std::vector<std::string> inside;
  std::optional<std::string> activeID;
  /// The label of an item in a project that isn't known to be stale, where the
  /// usual label says "Stale".
  std::optional<std::string> activeLabel;
  std::optional<DiskSafety> activeSafety;
  std::optional<PathLookup> resolveWith;
  CleanAction clean;
  std::string ifRemoved;
  std::vector<std::string> blockedWhileRunning;
  bool blockedWhileBuilding = false;
  std::vector<std::string> agentRoots;
  bool blockedWhileAppRuns = false;
  std::optional<DockerKind> dockerKind;
  bool verified = false;

  /// An unverified rule is never shown safer than review.
  DiskSafety effectiveSafety() const {
    return verified ? safety : stricter(safety, DiskSafety::review);
  }
};

std::string_view rawValue(LeftoverRule::Match match);

/// Rule ids the scanner gives a meaning to.
namespace rule_ids {
inline constexpr std::string_view gitWorktree = "git-worktree";
inline constexpr std::string_view gitWorktreeStale = "git-worktree-stale";
inline constexpr std::string_view appCaches = "app-caches";
}  // namespace rule_ids

struct LeftoverRuleSet {
  int64_t version = 0;
  std::vector<LeftoverRule> rules;

  /// The first rule whose id or activeID is `id`: item ids are made with either.
  const LeftoverRule* rule(std::string_view id) const;

  /// Decodes and validates. Throws RuleFileError for bad JSON or a decoding
  /// failure, RuleError for the first rule that fails validation; never a partial set.
  static LeftoverRuleSet load(std::string_view bytes);

  /// The first candidate file that exists: GLIMMET_LEFTOVERS, then the files
  /// shipped beside the executable. Throws RuleFileError when none exists.
  static std::filesystem::path locate(const Environment& environment,
                                      const std::filesystem::path& executable);
  /// locate, read and load. The file found is stored in `located` (when given)
  /// before it is read, so that a RuleError can name it.
  static LeftoverRuleSet find(const Environment& environment,
                              const std::filesystem::path& executable,
                              std::filesystem::path* located = nullptr);
};

}  // namespace glimmet
