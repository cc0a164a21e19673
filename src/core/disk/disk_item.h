// One measured leftover as a scan lists it, the cache keeps it and cleaning
// plans it. JSON keys equal the field names.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/disk/clean_action.h"
#include "core/disk/disk_vocabulary.h"
#include "core/disk/measurement.h"
#include "core/output/iso8601.h"

namespace glimmet {

/// Whether the project an item belongs to is in use.
struct ProjectActivity {
  enum class Kind { active, stale, unknown };
  Kind kind = Kind::unknown;
  std::optional<SystemTime> lastUsed;  ///< set for active and stale

  /// {"active": {"_0": time}}, {"stale": {"_0": time}} or {"unknown": {}}.
  nlohmann::json toJson() const;
  static std::optional<ProjectActivity> fromJson(const nlohmann::json& json);
  bool operator==(const ProjectActivity&) const = default;
};

struct DiskChild {
  std::string name;
  uint64_t bytes = 0;
  bool operator==(const DiskChild&) const = default;
};

struct DiskItem {
  std::string id;
  std::string ruleID;
  std::string label;
  std::string tool;
  std::string path;  ///< absolute, or the name of a Docker figure
  DiskCategory category = DiskCategory::yourFiles;
  DiskSafety safety = DiskSafety::review;
  uint64_t bytes = 0;
  uint64_t uniqueBytes = 0;
  uint64_t attributedBytes = 0;
  uint64_t fileCount = 0;
  std::optional<SystemTime> modified;
  std::optional<FileIdentity> identity;
  CleanAction clean;
  std::string ifRemoved;
  std::vector<std::string> reasons;
  std::optional<std::string> blocked;
  bool verified = false;
  std::optional<std::string> projectPath;
  std::optional<ProjectActivity> activity;
  bool partial = false;
  bool containsGit = false;
  std::vector<DiskChild> children;
  std::optional<std::string> mainRepoPath;
  std::optional<SystemTime> newestSession;
  std::optional<SystemTime> serverKilledAt;

  bool isAbsolute() const { return !path.empty() && path.front() == '/'; }
  /// Raises the safety; never lowers it.
  void raiseSafety(DiskSafety to) { safety = stricter(safety, to); }

  nlohmann::json toJson() const;
  static std::optional<DiskItem> fromJson(const nlohmann::json& json);
  bool operator==(const DiskItem&) const = default;
};

/// `text` with each byte that isn't part of well-formed UTF-8 written as
/// `\xHH`, so that an item id stays printable, copyable and distinct for a
/// folder whose name isn't UTF-8.
std::string escapedForID(std::string_view text);

/// Dates in the shared folder's files: seconds since 2001-01-01T00:00:00Z as a
/// double, the application's default date form.
double referenceSeconds(SystemTime time);
std::optional<SystemTime> fromReferenceSeconds(const nlohmann::json& value);

}  // namespace glimmet
