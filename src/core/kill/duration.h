// Durations as the reaper's --older-than takes them: "0", "90s", "30m", "1.5h", "2d".
#pragma once

#include <optional>
#include <string_view>

namespace glimmet {

/// The longest age the tool accepts on its command line: ten years, far beyond
/// any process's uptime, and small enough that every conversion of it to whole
/// seconds or minutes stays exact.
inline constexpr double kLongestDurationSeconds = 10 * 365 * 86400.0;
inline constexpr long long kLongestDurationMinutes = 10 * 365 * 1440;

/// Seconds, or nothing for an empty text, a missing or unknown unit, or a number
/// that doesn't parse, is negative or is longer than kLongestDurationSeconds.
std::optional<double> parseDuration(std::string_view text);

}  // namespace glimmet
