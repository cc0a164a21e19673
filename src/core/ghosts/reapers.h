// The processes an orphan is re-parented to. On a systemd desktop that is the
// user's manager (a subreaper), not pid 1; the kernel doesn't show another
// process's subreaper flag, so the manager is recognised by its cgroup or name.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <set>
#include <string>

#include "core/process/process_snapshot.h"

namespace glimmet {

/// pid 1, and the user's processes that are their systemd user manager: in the
/// cgroup ".../user@UID.service/init.scope", or named systemd and run with --user.
/// `cgroupOf` reads a process's cgroup path.
std::set<pid_t> reaperPIDs(uid_t uid, const ProcessSnapshot& snapshot,
                           const std::function<std::optional<std::string>(pid_t)>& cgroupOf);

}  // namespace glimmet
