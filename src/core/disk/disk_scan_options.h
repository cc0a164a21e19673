// What one disk scan is asked to do: the home folder, the user's disk
// settings, the facts gathered beforehand and the sources it may ask.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/disk/disk_scan_progress.h"
#include "core/disk/docker_client.h"
#include "core/disk/measurement.h"
#include "core/disk/path_lookup.h"
#include "core/output/iso8601.h"
#include "core/settings/disk_rules.h"
#include "platform/environment.h"

namespace glimmet {

struct DiskScanOptions {
  std::string home;
  DiskRules rules;  ///< already clamped
  Environment environment;
  uint64_t minimumProjectItemBytes = 1'000'000;
  SystemTime now;
  /// Repositories whose dev server the tool stopped, with when (from the kill log).
  std::map<std::string, SystemTime> killedRepos;
  /// Ask Docker (off for a fixture home).
  const DockerClient* docker = nullptr;
  /// Ask tools where their caches are, for rules with `resolveWith` (off for a
  /// fixture home: the rules' own paths are used).
  bool allowLookups = false;
  const PathLookupRunner* lookups = nullptr;
  /// Run once before the first lookup, on the lookups' own thread (the login
  /// shell is asked about every program at once).
  std::function<void()> prepareLookups;
  /// Folders tools named lately (the scan cache's memory), used without asking.
  std::map<PathLookup, std::string> rememberedLookups;
  /// Folders that hold keys or settings beside the fixed list (the shared folder).
  std::vector<std::string> settingsFolders;
  std::vector<std::string> trashRoots;
  /// Folders that a system guards with a permission prompt (Desktop, Documents
  /// and Downloads where there is one; none on Linux): left out unless
  /// `rules.includeProtectedFolders`.
  std::vector<std::string> consentFolders;
  std::shared_ptr<CancelFlag> cancel = CancelFlag::make();
  /// Where the walk says how far it has got, when someone shows it.
  DiskScanProgress* progress = nullptr;
};

}  // namespace glimmet
