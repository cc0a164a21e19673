// Durations as the reaper's --older-than takes them: "0", "90s", "30m", "1.5h", "2d".
#pragma once

#include <optional>
#include <string_view>

namespace glimmet {

/// Seconds, or nothing for an empty text, a missing or unknown unit, or a number
/// that doesn't parse or is negative.
std::optional<double> parseDuration(std::string_view text);

}  // namespace glimmet
