// The ranges that the settings' numbers are held to. Reading settings.json moves
// a value outside its range to the nearest bound, so that a hand-edited 1e308
// can neither hang a session-end hook nor overflow a conversion; `glimmet
// settings set` refuses such a value and names the range. One table serves both.
#pragma once

#include <algorithm>
#include <cstdint>

namespace glimmet::setting_ranges {

template <typename Number>
struct Range {
  Number lowest;
  Number highest;

  constexpr Number clamp(Number value) const { return std::clamp(value, lowest, highest); }
};

inline constexpr double kMinute = 60;
inline constexpr double kDay = 24 * 60 * kMinute;

// Times, in seconds. The ranges are wide enough for any setting a person means.
inline constexpr Range<double> samplingInterval{1, 3600};
inline constexpr Range<double> gracePeriod{1, 15};  // the tree killer's own limits
inline constexpr Range<double> processAge{0, 365 * kDay};
inline constexpr Range<double> reaperInterval{kMinute, 7 * kDay};
inline constexpr Range<double> sessionGrace{0, 10 * kMinute};
inline constexpr Range<double> alertDelay{0, kDay};

// The disk scan's numbers: days, a folder depth and a count of threads.
inline constexpr Range<int64_t> staleProjectDays{7, 3650};
inline constexpr Range<int64_t> agentHistoryDays{1, 3650};
inline constexpr Range<int64_t> discoveryDepth{1, 12};
inline constexpr Range<int64_t> maxWalkers{1, 8};

}  // namespace glimmet::setting_ranges
