// Takes process snapshots. One enumerator belongs to one command: it keeps the
// expensive per-process data (path, arguments, environment) between snapshots,
// keyed by pid and start time so a recycled pid never inherits another's data.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <unordered_map>

#include "core/process/process_snapshot.h"
#include "platform/process_info.h"

namespace glimmet {

class ProcessEnumerator {
 public:
  struct Static {
    std::uint64_t startTime = 0;
    std::string kernelName;  ///< an exec keeps the start time but changes this
    std::optional<std::string> path;
    std::vector<std::string> argv;
    std::vector<std::string> environment;
    std::optional<std::string> script;  ///< resolved once per incarnation
  };

  explicit ProcessEnumerator(uid_t currentUID) : currentUID_(currentUID) {}

  uid_t currentUID() const { return currentUID_; }

  /// `detailed` adds cwd and memory of the user's own processes.
  ProcessSnapshot snapshot(std::chrono::system_clock::time_point now, bool detailed = true);

  /// Fills cwd (when unknown) and memory of one of the user's own records, read now;
  /// another user's record, or one whose process is gone, comes back unchanged.
  ProcessRecord refresh(ProcessRecord record) const;

 private:
  std::optional<ProcessRecord> readRecord(const platform::ProcessHandle& handle, bool detailed);
  const Static* cached(pid_t pid, const platform::KernelSummary& summary) const;

  uid_t currentUID_;
  platform::ProcessTable table_;
  std::unordered_map<pid_t, Static> staticCache_;
};

}  // namespace glimmet
