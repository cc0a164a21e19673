// The one line a running scan shows at a terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/disk/disk_scan_progress.h"

namespace glimmet {

/// "Scanning: 1,204 folders, 56.7 MB so far · ~/Dev/web/node_modules", never
/// wider than `columns`: a long path loses its start ("…/web/node_modules").
std::string scanProgressLine(const DiskScanProgress::Snapshot& progress, std::string_view home,
                             size_t columns);

}  // namespace glimmet
