// Whether the user's service manager runs a process: such a process is the
// manager's to restart or stop, never a ghost of ours.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/proc_root.h"

namespace glimmet::platform {

struct ServiceUnit {
  std::string cgroupPath;  ///< "/user.slice/user-1000.slice/user@1000.service/app.slice/x.service"
  std::string unitName;    ///< its last component
  bool managed = false;    ///< a service the manager starts and restarts
};

/// The unit of a running process; nothing when it can't be read or has none.
std::optional<ServiceUnit> serviceUnit(pid_t pid, const ProcRoot& root = ProcRoot::system());

/// The unit described by the text of /proc/<pid>/cgroup: pure, for recorded text.
std::optional<ServiceUnit> serviceUnitFromCgroup(std::string_view cgroupText);

}  // namespace glimmet::platform
