// Duration parsing.
#include "core/kill/duration.h"

#include <charconv>
#include <cmath>

namespace glimmet {

std::optional<double> parseDuration(std::string_view text) {
  if (text == "0") return 0.0;
  if (text.empty()) return std::nullopt;
  double unit = 0;
  switch (text.back()) {
    case 's':
      unit = 1;
      break;
    case 'm':
      unit = 60;
      break;
    case 'h':
      unit = 3600;
      break;
    case 'd':
      unit = 86400;
      break;
    default:
      return std::nullopt;
  }
  const auto number = text.substr(0, text.size() - 1);
  double value = 0;
  // from_chars in fixed form: no exponent, no "inf" or "nan", no leading "+".
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value,
                                            std::chars_format::fixed);
  if (number.empty() || error != std::errc{} || end != number.data() + number.size())
    return std::nullopt;
  if (value < 0 || std::signbit(value) || !(value * unit <= kLongestDurationSeconds))
    return std::nullopt;
  return value * unit;
}

}  // namespace glimmet
