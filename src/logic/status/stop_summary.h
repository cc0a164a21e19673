// The sentence that says what stopping a set of processes frees, shared by the
// status summary and the stop command's plan.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace glimmet {

/// "Stopping these frees 1.5 GB and ports 3000, 5173." Ports may come in any
/// order and repeated; nothing when there are neither bytes nor ports.
std::optional<std::string> stopSummary(std::uint64_t bytes, std::vector<std::uint16_t> ports);

inline constexpr const char* kNothingToStop = "Nothing to stop.";

}  // namespace glimmet
