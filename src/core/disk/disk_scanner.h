// The disk scan: turns the rule file into measured leftovers for one home
// folder, with the context totals of the rest of it and the folders left out.
// Each measurement is shared out between up to maxWalkers threads at idle I/O
// priority, all stopped by one shared cancel flag.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/cleanup/liveness_guard.h"
#include "core/disk/disk_item.h"
#include "core/disk/docker_disk_usage.h"
#include "core/disk/leftover_rules.h"
#include "core/disk/path_lookup.h"
#include "core/settings/disk_rules.h"

namespace glimmet {

struct DiskContext {
  DiskCategory category = DiskCategory::yourFiles;
  std::string path;
  uint64_t bytes = 0;
};

struct NotScanned {
  enum class Reason { needsConsent, noAccess, otherVolume, cloud, personalMedia };
  std::string path;
  Reason reason = Reason::noAccess;
};
std::string_view rawValue(NotScanned::Reason reason);

struct DiskScanResult {
  std::string scanID;
  SystemTime startedAt;
  SystemTime finishedAt;
  std::string home;
  bool complete = true;
  std::vector<DiskItem> items;
  std::vector<DiskContext> context;
  std::vector<NotScanned> notScanned;
  std::optional<uint64_t> freeBytes;
  std::optional<uint64_t> trashBytes;
  std::optional<DockerDiskState> docker;
  int64_t rulesVersion = 0;
};

struct DiskScanOptions {
  std::string home;
  DiskRules rules;  ///< already clamped
  Environment environment;
  uint64_t minimumProjectItemBytes = 1'000'000;
  SystemTime now;
  /// Repositories whose dev server the tool stopped, with when (from the kill log).
  std::map<std::string, SystemTime> killedRepos;
  /// Folders seen as working folders of running processes, with when.
  std::map<std::string, SystemTime> lastSeenLive;
  /// Ask Docker (off for a fixture home).
  const DockerClient* docker = nullptr;
  /// Ask tools where their caches are, for rules with `resolveWith` (off for a
  /// fixture home: the rules' own paths are used).
  bool allowLookups = false;
  const PathLookupRunner* lookups = nullptr;
  /// Folders that hold keys or settings beside the fixed list (the shared folder).
  std::vector<std::string> settingsFolders;
  std::vector<std::string> trashRoots;
  /// Folders that a system guards with a permission prompt (Desktop, Documents
  /// and Downloads where there is one; none on Linux): left out unless
  /// `rules.includeProtectedFolders`.
  std::vector<std::string> consentFolders;
  std::shared_ptr<CancelFlag> cancel = CancelFlag::make();
};

/// Runs the scan. `liveness` is what runs right now, from the command's snapshot.
DiskScanResult scanDisk(const LeftoverRuleSet& rules, const DiskScanOptions& options,
                        const LivenessInput& liveness);

}  // namespace glimmet
