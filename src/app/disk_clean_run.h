// glimmet disk clean: plans the chosen items of the last scan against the disk
// and what runs now, shows the plan, and after a typed yes runs it step by
// step, logging each step before and after.
#pragma once

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/run_context.h"
#include "core/cleanup/cleanup_runner.h"
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

/// A plan for items of the last scan, made against the disk and what runs now.
struct DiskCleanup {
  CleanupPlan plan;
  std::filesystem::path sharedFolder;
};

/// Plans `request.items` as disk clean does; items that name nothing are said on
/// `context.out`. Throws CommandFailure without a scan or when nothing matches.
DiskCleanup planDiskCleanup(const DiskCleanRequest& request, RunContext& context);

/// Carries out the plan for this command's user (trigger cli), each step logged
/// before and after. `stop` ends it early as an interrupt does; `atTerminal`:
/// a tool that asks its own question may ask it on this terminal.
std::vector<StepOutcome> carryOutCleanup(const DiskCleanup& cleanup, const Environment& environment,
                                         const CleanupEvents& events, const std::atomic<bool>& stop,
                                         bool atTerminal);

}  // namespace glimmet
