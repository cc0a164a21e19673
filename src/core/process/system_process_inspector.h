// The live counterpart of the snapshot, for code that must see the system as it
// is now: the tree killer re-checks each process right before signalling it.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "core/process/live_process.h"
#include "core/process/process_record.h"
#include "platform/process_info.h"

namespace glimmet {

/// What must stay the same for a pid to still name the same process incarnation.
struct LiveProcessState {
  std::uint64_t startTime = 0;
  uid_t uid = 0;
  pid_t pgid = 0;
  ProcessStatus status = ProcessStatus::other;
  std::optional<std::string> path;

  friend bool operator==(const LiveProcessState&, const LiveProcessState&) = default;
};

/// What the tree killer asks of the live system, so its decisions can be tested
/// over a scripted one.
class ProcessInspector {
 public:
  virtual ~ProcessInspector() = default;
  /// Nothing when the process is gone (or is a kernel thread). Cheap: for polling.
  virtual std::optional<LiveProcessState> state(pid_t pid) const = 0;
  /// Everything the checks before a signal look at; nothing when the process is
  /// gone or is in the middle of an exec.
  virtual std::optional<LiveProcess> live(pid_t pid) const = 0;
};

/// Whether `process` has ended: gone, its pid taken by another process, or a
/// zombie waiting for its parent.
bool hasExited(const ProcessInspector& inspector, const ProcessIdentity& process);

class SystemProcessInspector final : public ProcessInspector {
 public:
  /// Paths are read for `currentUID`'s processes only, as in a snapshot.
  explicit SystemProcessInspector(uid_t currentUID) : currentUID_(currentUID) {}

  std::optional<LiveProcessState> state(pid_t pid) const override;
  std::optional<LiveProcess> live(pid_t pid) const override;
  /// The pids whose parent is `ppid` now, in listing order.
  std::vector<pid_t> childPIDs(pid_t ppid) const;

 private:
  uid_t currentUID_;
  platform::ProcessTable table_;
};

}  // namespace glimmet
