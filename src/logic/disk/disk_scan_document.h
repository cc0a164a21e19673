// How `disk scan` shows a result: the text report and the schema-1 document.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/disk/disk_scan_result.h"
#include "core/output/document.h"

namespace glimmet {

struct DiskScanDocument {
  DiskScanResult result;

  nlohmann::json toJson() const;
  /// The report's lines, in order (empty strings are blank lines).
  std::vector<std::string> lines() const;
  /// Partial when a walk stopped early, in either form.
  ExitStatus status(OutputFormat format) const;
};

/// "Safe to clear", "Review first", "Report only": how a safety is named to a person.
std::string_view safetyHeading(DiskSafety safety);

}  // namespace glimmet
