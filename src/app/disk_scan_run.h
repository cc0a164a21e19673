// glimmet disk scan: measures the leftovers the rules describe, saves the
// result for disk clean and the application, and prints the report.
#pragma once

#include <optional>
#include <string>

#include "app/run_context.h"
#include "core/error.h"

namespace glimmet {

struct DiskScanRequest {
  bool json = false;
  /// Scan this folder as the home folder (a test fixture): no tool lookups,
  /// no Docker, nothing read from or saved to the shared folder.
  std::optional<std::string> home;
  bool includeProtectedFolders = false;
};

ExitStatus runDiskScan(const DiskScanRequest& request, RunContext& context);

}  // namespace glimmet
