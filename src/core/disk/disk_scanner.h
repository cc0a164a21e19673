// The disk scan: turns the rule file into measured leftovers for one home
// folder, with the context totals of the rest of it and the folders left out.
// It finds and measures every candidate and the context in one walk, shared
// out between up to maxWalkers threads at idle I/O priority and stopped by
// one shared cancel flag, while Docker and the tools are asked; then it
// judges each item's safety, reasons and blocking.
#pragma once

#include <functional>

#include "core/disk/disk_judging.h"
#include "core/disk/disk_scan_options.h"
#include "core/disk/disk_scan_result.h"
#include "core/disk/leftover_rules.h"
#include "core/safety/liveness_guard.h"

namespace glimmet {

/// Runs the scan. `readLiveState` reads what runs right now; it is called once,
/// on a thread of its own while the walk runs, since the walk doesn't need it.
DiskScanResult scanDisk(const LeftoverRuleSet& rules, const DiskScanOptions& options,
                        const std::function<LiveState()>& readLiveState);

}  // namespace glimmet
