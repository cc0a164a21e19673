// The disk scan: turns the rule file into measured leftovers for one home
// folder, with the context totals of the rest of it and the folders left out.
// It finds and measures every candidate and the context in one walk, shared
// out between up to maxWalkers threads at idle I/O priority and stopped by
// one shared cancel flag, while Docker and the tools are asked; then it
// judges each item's safety, reasons and blocking.
#pragma once

#include "core/disk/disk_scan_options.h"
#include "core/disk/disk_scan_result.h"
#include "core/disk/leftover_rules.h"
#include "core/safety/liveness_guard.h"

namespace glimmet {

/// Runs the scan. `liveness` is what runs right now, from the command's snapshot.
DiskScanResult scanDisk(const LeftoverRuleSet& rules, const DiskScanOptions& options,
                        const LivenessInput& liveness);

}  // namespace glimmet
