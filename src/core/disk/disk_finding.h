// Where the rules' leftovers are and what they hold, from one walk. Path rules
// name their folders; children rules, project rules and linked git worktrees
// are recognised in the listings as the walk of the home folder (and of the
// extra roots) passes them; every item and every top-level entry of the home
// folder is measured by that same walk, each entry counted once for all.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/disk/disk_scan_options.h"
#include "core/disk/disk_scan_result.h"
#include "core/disk/leftover_rules.h"
#include "core/disk/worktree_index.h"

namespace glimmet {

/// One folder a rule matched, and, once measured, what it holds.
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
  /// For project items: the nearest folder above, up to the home folder, holding `.git`.
  std::optional<std::string> projectPath;
  /// Standing in for the folder a tool is being asked about.
  bool tentative = false;

  const std::string& measuredFolder() const { return measuredPath.empty() ? path : measuredPath; }
};

struct DiskFindings {
  /// Measured, in a fixed order: rule folders by rule, then projects and
  /// worktrees by path.
  std::vector<Candidate> candidates;
  /// The home folder's own entries that no candidate covers and nothing left
  /// out, and their measurements: for the context totals.
  std::vector<std::string> topLevel;
  std::vector<Measurement> topLevelMeasurements;
  std::vector<NotScanned> notScanned;
  /// Docker figures come from the engine, not from a folder.
  std::vector<const LeftoverRule*> dockerRules;
  /// The Trash's size over the folders that exist; nothing when none does.
  std::optional<uint64_t> trashBytes;
  /// A walk stopped early: the figures are partial.
  bool cancelled = false;
  /// What the tools asked answered.
  std::map<PathLookup, std::string> toolFolders;
};

/// What the tools asked where their folders are answered, by rule: nothing
/// for a tool that gave no answer. Called once the walk is over, so the
/// questions run while it does.
using LookupAnswers = std::function<std::map<const LeftoverRule*, std::optional<std::string>>()>;

/// `asking` holds the rules whose tool is being asked; until it answers, the
/// rule's own paths are measured in its place.
DiskFindings findLeftovers(const LeftoverRuleSet& rules, const DiskScanOptions& options,
                           const std::vector<const LeftoverRule*>& asking,
                           const LookupAnswers& answers);

/// Where a top-level entry of the home folder is totalled: agents', model,
/// Docker and tool folders by name, everything else as the user's own files.
DiskCategory contextCategory(const std::string& name);

}  // namespace glimmet
