// The first step of a disk scan: where the rules' leftovers are. Path and
// children rules name their folders, project rules are looked for on one walk
// of the home folder and the extra roots, and linked git worktrees come from
// the repositories met on that walk. Nothing is measured yet.
#pragma once

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

  const std::string& measuredFolder() const { return measuredPath.empty() ? path : measuredPath; }
};

struct DiskFindings {
  std::vector<Candidate> candidates;
  /// The home folder's own entries that no candidate covers and nothing left
  /// out: measured for the context totals.
  std::vector<std::string> topLevel;
  std::vector<NotScanned> notScanned;
  /// Docker figures come from the engine, not from a folder.
  std::vector<const LeftoverRule*> dockerRules;
};

DiskFindings findLeftovers(const LeftoverRuleSet& rules, const DiskScanOptions& options);

/// Where a top-level entry of the home folder is totalled: agents', model,
/// Docker and tool folders by name, everything else as the user's own files.
DiskCategory contextCategory(const std::string& name);

}  // namespace glimmet
