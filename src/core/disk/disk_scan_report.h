// How `disk scan` shows a result: the text report and the schema-1 document.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/disk/disk_scanner.h"

namespace glimmet {

/// The report's lines, in order (empty strings are blank lines).
std::vector<std::string> diskScanText(const DiskScanResult& result);

nlohmann::json diskScanDocument(const DiskScanResult& result);

}  // namespace glimmet
