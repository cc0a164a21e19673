// The one test of whether a process belongs to the system rather than to the
// user's work, over the platform's list of system folders and names. Protection,
// session tracking, the tree killer and the MCP safety rules all ask it, so they
// agree on what is the system's.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace glimmet {

struct SystemProcessTable {
  std::vector<std::string> pathPrefixes;  ///< an executable below one is a system process
  std::vector<std::string> names;         ///< exact, case-sensitive names
  std::vector<std::string> namePrefixes;  ///< names that begin with one (systemd-journald)

  /// Whether a process of this name, run from `path` when known, is the system's.
  /// The pid floor stays with each caller, which orders it among its own rules.
  bool holds(std::string_view name, const std::optional<std::string>& path) const;
};

/// This machine's table, made once from the platform's list.
const SystemProcessTable& systemProcessTable();

}  // namespace glimmet
