// ISO 8601 date-times over std::chrono's civil calendar, so no call depends on
// the process's time zone or locale.
#include "core/output/iso8601.h"

#include <fmt/format.h>

namespace glimmet {
namespace {

using namespace std::chrono;

// Reads exactly `count` digits at `pos`.
std::optional<int> digits(std::string_view text, size_t pos, size_t count) {
  if (pos + count > text.size()) return std::nullopt;
  int value = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

bool hasChar(std::string_view text, size_t pos, char lower) {
  return pos < text.size() && (text[pos] == lower || text[pos] == lower - 'a' + 'A');
}

}  // namespace

std::string formatIso8601(SystemTime time) {
  const auto seconds = floor<std::chrono::seconds>(time);
  const auto day = floor<days>(seconds);
  const year_month_day date{day};
  const hh_mm_ss clock{seconds - day};
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}Z", static_cast<int>(date.year()),
                     static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                     clock.hours().count(), clock.minutes().count(), clock.seconds().count());
}

std::optional<SystemTime> parseIso8601(std::string_view text) {
  const auto year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
  const auto hour = digits(text, 11, 2), minute = digits(text, 14, 2), second = digits(text, 17, 2);
  if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
  if (text[4] != '-' || text[7] != '-' || !(text[10] == 'T' || text[10] == 't') ||
      text[13] != ':' || text[16] != ':')
    return std::nullopt;
  const year_month_day date{std::chrono::year{*year},
                            std::chrono::month{static_cast<unsigned>(*month)},
                            std::chrono::day{static_cast<unsigned>(*day)}};
  if (!date.ok() || *hour > 23 || *minute > 59 || *second > 59) return std::nullopt;

  size_t pos = 19;
  if (pos < text.size() && text[pos] == '.') {
    const size_t start = ++pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
    if (pos == start) return std::nullopt;
  }
  std::chrono::seconds offset{0};
  if (hasChar(text, pos, 'z')) {
    ++pos;
  } else if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    const auto offsetHours = digits(text, pos + 1, 2), offsetMinutes = digits(text, pos + 4, 2);
    if (!offsetHours || !offsetMinutes || text[pos + 3] != ':' || *offsetHours > 23 ||
        *offsetMinutes > 59)
      return std::nullopt;
    offset = hours{*offsetHours} + minutes{*offsetMinutes};
    if (text[pos] == '-') offset = -offset;
    pos += 6;
  } else {
    return std::nullopt;
  }
  if (pos != text.size()) return std::nullopt;
  const auto local =
      sys_days{date} + hours{*hour} + minutes{*minute} + std::chrono::seconds{*second};
  return SystemTime{local - offset};
}

}  // namespace glimmet
