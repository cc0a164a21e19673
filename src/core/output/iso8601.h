// ISO 8601 / RFC 3339 date-times: written in UTC with whole seconds, read in full.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace glimmet {

using SystemTime = std::chrono::system_clock::time_point;

/// "2026-12-06T15:07:47Z": UTC, the fraction of the second dropped.
std::string formatIso8601(SystemTime time);

/// Reads "YYYY-MM-DDTHH:MM:SS[.frac](Z|±HH:MM)", with T and Z in either case; the
/// fraction is truncated. Anything else, including impossible dates, is nothing.
std::optional<SystemTime> parseIso8601(std::string_view text);

}  // namespace glimmet
