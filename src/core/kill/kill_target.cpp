// Kill target parsing.
#include "core/kill/kill_target.h"

#include <charconv>
#include <limits>

namespace glimmet {
namespace {

std::optional<uint64_t> decimalDigits(std::string_view text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

}  // namespace

std::optional<KillTarget> parseKillTarget(std::string_view text) {
  if (!text.empty() && text.front() == ':') {
    const auto port = decimalDigits(text.substr(1));
    if (!port || *port == 0 || *port > std::numeric_limits<uint16_t>::max()) return std::nullopt;
    return PortTarget{static_cast<uint16_t>(*port)};
  }
  const auto pid = decimalDigits(text);
  if (!pid || *pid > static_cast<uint64_t>(std::numeric_limits<pid_t>::max())) return std::nullopt;
  return PIDTarget{static_cast<pid_t>(*pid)};
}

}  // namespace glimmet
