// What counts as a system process on this operating system: executable folders
// and process names that belong to the system, never to the user's work.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace glimmet::platform {

struct SystemProcessTable {
  std::vector<std::string> pathPrefixes;  ///< an executable below one is a system process
  std::vector<std::string> names;         ///< exact, case-sensitive names
  std::vector<std::string> namePrefixes;  ///< names that begin with one (systemd-journald)

  /// Whether a process of this name, run from `path` when known, is the system's.
  /// The one test every caller applies; the pid floor stays with each caller,
  /// which orders it among its own rules.
  bool holds(std::string_view name, const std::optional<std::string>& path) const {
    const auto begins = [](std::string_view text, const std::string& prefix) {
      return text.substr(0, prefix.size()) == prefix;
    };
    if (path && std::any_of(pathPrefixes.begin(), pathPrefixes.end(),
                            [&](const std::string& prefix) { return begins(*path, prefix); }))
      return true;
    return std::find(names.begin(), names.end(), name) != names.end() ||
           std::any_of(namePrefixes.begin(), namePrefixes.end(),
                       [&](const std::string& prefix) { return begins(name, prefix); });
  }
};

/// One definition shared by protection, session tracking and the MCP safety rules.
const SystemProcessTable& systemProcessTable();

}  // namespace glimmet::platform
