// The files a process holds open, for telling whether a folder is in use.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/proc_root.h"

namespace glimmet::platform {

/// Absolute paths of the files and folders `pid` has open; sockets, pipes and
/// deleted files are left out. Empty when the process is gone or not readable.
std::vector<std::string> openFilePaths(pid_t pid, const ProcRoot& root = ProcRoot::system());

}  // namespace glimmet::platform
