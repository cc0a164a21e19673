#include "logic/status/stop_summary.h"

#include <algorithm>

#include "core/output/byte_format.h"

namespace glimmet {

std::optional<std::string> stopSummary(std::uint64_t bytes, std::vector<std::uint16_t> ports) {
  std::sort(ports.begin(), ports.end());
  ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
  std::string portText;
  for (const auto port : ports) {
    if (!portText.empty()) portText += ", ";
    portText += std::to_string(port);
  }
  if (bytes == 0 && ports.empty()) return std::nullopt;
  if (bytes == 0) return "Stopping these frees ports " + portText + ".";
  if (ports.empty()) return "Stopping these frees " + decimalBytes(bytes) + ".";
  return "Stopping these frees " + decimalBytes(bytes) + " and ports " + portText + ".";
}

}  // namespace glimmet
