// What counts as a system process on this operating system: executable folders
// and process names that belong to the system, never to the user's work.
#pragma once

#include <string>
#include <vector>

namespace glimmet::platform {

struct SystemProcessTable {
  std::vector<std::string> pathPrefixes;  ///< an executable below one is a system process
  std::vector<std::string> names;         ///< exact, case-sensitive names
  std::vector<std::string> namePrefixes;  ///< names that begin with one (systemd-journald)
};

/// One definition shared by protection, session tracking and the MCP safety rules.
const SystemProcessTable& systemProcessTable();

}  // namespace glimmet::platform
