// The second step of a disk scan: every candidate and every top-level entry of
// the home folder measured by the one measuring routine, one at a time, each
// shared out between up to `walkers` threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/disk/disk_finding.h"

namespace glimmet {

struct DiskMeasurements {
  /// By position in the findings' `topLevel`.
  std::vector<Measurement> topLevel;
  /// A walk stopped early: the scan's figures are partial.
  bool cancelled = false;
};

/// Measures each candidate in place (and records the identity of what stands
/// at its path), then the top-level entries.
DiskMeasurements measureFindings(DiskFindings& findings, size_t walkers, const CancelFlag& cancel);

/// The Trash's size over the folders that exist; nothing when none does.
std::optional<uint64_t> measureTrash(const std::vector<std::string>& trashRoots, size_t walkers,
                                     const CancelFlag& cancel);

}  // namespace glimmet
