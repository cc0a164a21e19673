// glimmet disk clean: plans the chosen items of the last scan against the disk
// and what runs now, shows the plan, and after a typed yes runs it step by
// step, logging each step before and after.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/run_context.h"
#include "core/error.h"

namespace glimmet {

struct DiskCleanRequest {
  /// Item ids as `disk scan --json` shows them, or their paths.
  std::vector<std::string> items;
  /// Show what would happen; nothing runs, moves or is logged.
  bool dryRun = false;
  /// Agent chats are copied here and checked before they go to the Trash.
  std::optional<std::string> archiveTo;
};

ExitStatus runDiskClean(const DiskCleanRequest& request, RunContext& context);

}  // namespace glimmet
