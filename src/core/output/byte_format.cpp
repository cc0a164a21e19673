// Byte-count formatters. Rounding is half to even on the exact value, in integer
// arithmetic, so no binary-float artefact ever shows (1,250,000 is "1.2 MB").
#include "core/output/byte_format.h"

#include <fmt/format.h>

#include <array>
#include <string_view>

namespace glimmet {
namespace {

constexpr std::array<std::string_view, 6> kUnits = {"KB", "MB", "GB", "TB", "PB", "EB"};

// Fraction digits by magnitude: none for KB, one for MB, two from GB up.
constexpr unsigned fractionDigits(size_t unitIndex) {
  return unitIndex == 0 ? 0 : unitIndex == 1 ? 1 : 2;
}

// Bytes times 10^2 can exceed 64 bits; a GCC extension, hence the __extension__.
__extension__ typedef unsigned __int128 Wide;

Wide power(Wide base, size_t exponent) {
  Wide result = 1;
  for (size_t i = 0; i < exponent; ++i) result *= base;
  return result;
}

// The value in the unit, scaled by 10^digits and rounded half to even.
Wide roundedScaled(uint64_t bytes, Wide divisor, unsigned digits) {
  const Wide scaled = static_cast<Wide>(bytes) * power(10, digits);
  Wide quotient = scaled / divisor;
  const Wide twiceRemainder = (scaled % divisor) * 2;
  if (twiceRemainder > divisor || (twiceRemainder == divisor && quotient % 2 == 1)) ++quotient;
  return quotient;
}

std::string decimalText(Wide scaled, unsigned digits) {
  const Wide unit = power(10, digits);
  std::string out = std::to_string(static_cast<uint64_t>(scaled / unit));
  std::string fraction = std::to_string(static_cast<uint64_t>(scaled % unit));
  if (digits > 0) {
    fraction.insert(0, digits - fraction.size(), '0');
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    if (!fraction.empty()) out += "." + fraction;
  }
  return out;
}

std::string formatBytes(uint64_t bytes, unsigned base) {
  if (bytes == 0) return "Zero KB";
  if (bytes == 1) return "1 byte";
  if (bytes < base) return std::to_string(bytes) + " bytes";
  size_t unitIndex = 0;
  while (unitIndex + 1 < kUnits.size() && power(base, unitIndex + 2) <= bytes) ++unitIndex;
  for (;;) {
    const unsigned digits = fractionDigits(unitIndex);
    const Wide scaled = roundedScaled(bytes, power(base, unitIndex + 1), digits);
    // A value that rounds up to 1000 of a unit is written in the next one:
    // 999,999 bytes is "1 MB", never "1000 KB".
    if (scaled >= 1000 * power(10, digits) && unitIndex + 1 < kUnits.size()) {
      ++unitIndex;
      continue;
    }
    return decimalText(scaled, digits) + " " + std::string(kUnits[unitIndex]);
  }
}

}  // namespace

std::string fileStyleBytes(uint64_t bytes) {
  return formatBytes(bytes, 1000);
}

std::string memoryStyleBytes(uint64_t bytes) {
  return formatBytes(bytes, 1024);
}

// Fixed-point rounding of the value, locale independent: these lines are short
// summaries, not ledgers.
std::string decimalBytes(uint64_t bytes) {
  const double value = static_cast<double>(bytes);
  if (bytes >= 1'000'000'000) {
    const double gigabytes = value / 1e9;
    return gigabytes < 10 ? fmt::format("{:.2f} GB", gigabytes)
                          : fmt::format("{:.1f} GB", gigabytes);
  }
  if (bytes >= 1'000'000) {
    const double megabytes = value / 1e6;
    return megabytes < 10 ? fmt::format("{:.1f} MB", megabytes)
                          : fmt::format("{:.0f} MB", megabytes);
  }
  if (bytes >= 1'000) return fmt::format("{:.0f} KB", value / 1e3);
  return fmt::format("{} B", bytes);
}

}  // namespace glimmet
