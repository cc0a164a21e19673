// What outlives one disk scan: the scan cache (the last result, for cleaning and
// the application, and when folders were last seen in use) and the CSV history.
#pragma once

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/disk/disk_scanner.h"
#include "core/disk/tool_folder_memory.h"

namespace glimmet {

/// "20261207T041500-1a2b3c": the local start time and a random 32-bit number.
std::string makeScanID(SystemTime startedAt);

nlohmann::json toJson(const DiskScanResult& result);
std::optional<DiskScanResult> diskScanResultFromJson(const nlohmann::json& json);

struct DiskCache {
  std::optional<DiskScanResult> lastResult;
  std::map<std::string, SystemTime> lastSeenLive;
  ToolFolderMemory toolFolders;

  /// A missing or undecodable file is an empty cache.
  static DiskCache load(const std::filesystem::path& folder);
  /// Records `now` for each absolute path other than "/", then forgets entries
  /// older than a year and keeps at most the 2000 most recent.
  void markSeenLive(const std::vector<std::string>& paths, SystemTime now);
  /// Atomic replace. Throws platform::SystemError.
  void save(const std::filesystem::path& folder) const;
};

/// Appends one row per item and a total row to disk-history.csv under its lock,
/// with the header first when the file is new. Throws platform::SystemError.
void recordDiskHistory(const std::filesystem::path& folder, const DiskScanResult& result);

/// The scan's rows as they are appended (no header).
std::string diskHistoryRows(const DiskScanResult& result);

}  // namespace glimmet
