// One process as the live system shows it at the moment of a check: what the
// tree killer looks at right before each signal, read through the same handle
// that then carries the signal.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "core/process/process_identity.h"
#include "core/process/process_record.h"
#include "platform/process_info.h"

namespace glimmet {

struct LiveProcess {
  ProcessIdentity identity;
  pid_t pgid = 0;
  uid_t realUID = 0;
  uid_t effectiveUID = 0;
  uid_t savedUID = 0;
  ProcessStatus status = ProcessStatus::other;
  std::string name;                 ///< completed from argv or the executable, as in a snapshot
  std::optional<std::string> path;  ///< only for processes wholly `currentUID`'s
  std::vector<std::string> argv;    ///< only for processes wholly `currentUID`'s
  bool hasControllingTTY = false;

  /// Real, effective and saved uid are all `uid`. A setuid program the user
  /// started has the user as its real uid only; one that dropped its effective
  /// uid for a while can still take its saved one back. Neither is the user's.
  bool whollyOwnedBy(uid_t uid) const {
    return realUID == uid && effectiveUID == uid && savedUID == uid;
  }
  /// The arguments joined with single spaces, or the name when there are none.
  std::string commandLine() const;
};

/// Reads `handle`'s process now. Its executable and arguments are read only when
/// it is wholly `currentUID`'s, and the kernel summary is read again after them:
/// a process that exec'd in between is read once more, so name, owner, path and
/// arguments belong to one program. Nothing when it is gone, or when it keeps
/// changing under us (then nothing can be said about what it is).
std::optional<LiveProcess> readLiveProcess(const platform::ProcessHandle& handle, uid_t currentUID);

}  // namespace glimmet
