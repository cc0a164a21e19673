// What counts as a system process on this operating system: the executable
// folders and process names that belong to the system, never to the user's
// work. Only the list lives here; core's SystemProcessTable applies it.
#pragma once

#include <string>
#include <vector>

namespace glimmet::platform {

struct SystemProcessList {
  std::vector<std::string> pathPrefixes;  ///< an executable below one is a system process
  std::vector<std::string> names;         ///< exact, case-sensitive names
  std::vector<std::string> namePrefixes;  ///< names that begin with one (systemd-journald)
};

/// This operating system's list.
SystemProcessList systemProcessList();

}  // namespace glimmet::platform
