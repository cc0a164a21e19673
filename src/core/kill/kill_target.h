// What `glimmet kill` is pointed at: a port (":3000") or a pid ("4242").
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>

namespace glimmet {

struct PortTarget {
  uint16_t port;
  bool operator==(const PortTarget&) const = default;
};
struct PIDTarget {
  pid_t pid;
  bool operator==(const PIDTarget&) const = default;
};
using KillTarget = std::variant<PortTarget, PIDTarget>;

/// A colon and decimal digits is a port (1 to 65535); decimal digits alone are a
/// pid that fits in pid_t. No sign, space or other character is accepted, so a
/// typo can never select a process.
std::optional<KillTarget> parseKillTarget(std::string_view text);

}  // namespace glimmet
