// What one disk scan found: the measured items, the context totals of the rest
// of the home folder, and the folders it left out and why.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/disk/disk_item.h"
#include "core/disk/docker_disk_usage.h"

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
  /// What the tools asked during this scan answered, for the scan cache to
  /// remember; no part of the report.
  std::map<PathLookup, std::string> toolFolders;
};

}  // namespace glimmet
