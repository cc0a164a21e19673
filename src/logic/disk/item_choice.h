// Which items of the last scan `disk clean` was asked for, and whether the
// typed answer lets it go ahead.
#pragma once

#include <string>
#include <vector>

#include "core/disk/disk_scan_result.h"

namespace glimmet {

struct ItemChoice {
  std::vector<DiskItem> picked;        ///< in the order first named, each once
  std::vector<std::string> unmatched;  ///< arguments that named nothing, in order
};

/// Each argument names an item by its id as `disk scan --json` shows it, or
/// by its path: `argumentPaths[i]` is argument i read as a path (absolute,
/// normal, "~" expanded against the scan's home).
ItemChoice chooseItems(const DiskScanResult& scan, const std::vector<std::string>& arguments,
                       const std::vector<std::string>& argumentPaths);

/// "yes" in any case, blanks anywhere ignored; anything else is a no.
bool confirmsCleanup(const std::string& answer);

}  // namespace glimmet
