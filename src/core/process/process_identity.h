// A pid together with its process's start time: a later process that reuses the
// pid has another start time, so it is never mistaken for the one it replaced.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>

namespace glimmet {

struct ProcessIdentity {
  pid_t pid = 0;
  std::uint64_t startTime = 0;  ///< microseconds since 1970

  friend bool operator==(const ProcessIdentity&, const ProcessIdentity&) = default;

  /// "1234@1733480000123456"
  std::string text() const { return std::to_string(pid) + "@" + std::to_string(startTime); }
};

}  // namespace glimmet

template <>
struct std::hash<glimmet::ProcessIdentity> {
  std::size_t operator()(const glimmet::ProcessIdentity& identity) const noexcept {
    const std::size_t pidHash = std::hash<pid_t>{}(identity.pid);
    return pidHash ^ (std::hash<std::uint64_t>{}(identity.startTime) + 0x9e3779b97f4a7c15ULL +
                      (pidHash << 6) + (pidHash >> 2));
  }
};
