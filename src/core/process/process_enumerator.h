// Takes process snapshots. One enumerator belongs to one command: it keeps the
// per-process data that outlives a snapshot (arguments, executable,
// environment) between snapshots, keyed by pid and start time so a recycled
// pid never inherits another's data.
//
// A snapshot reads three things of each process: its stat line, its owner (the
// folder's own, see ProcessHandle::summary) and, for the user's own processes,
// its arguments. Everything else of a record is deferred (deferred.h) and read,
// through the same /proc/PID folder opened again and checked against the start
// time, only for the processes a command asks about.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <unordered_map>

#include "core/process/process_snapshot.h"
#include "platform/process_info.h"

namespace glimmet {

/// What a snapshot reads during its pass instead of on first use.
struct SnapshotReads {
  /// `detailed`: the working folder and memory of the user's own processes can
  /// be asked for; otherwise they are absent and 0.
  bool detailed = true;
  /// The executable of every one of the user's processes, in the pass: for
  /// commands that match every process against the signatures, for which a
  /// read in the pass costs less than reopening each folder later.
  bool executables = false;
};

class ProcessEnumerator {
 public:
  struct Static {
    std::uint64_t startTime = 0;
    std::string kernelName;  ///< an exec keeps the start time but changes this
    std::vector<std::string> argv;
    Deferred<std::optional<std::string>> path;
    Deferred<std::vector<std::string>> environment;
    Deferred<std::optional<std::string>> script;  ///< resolved once per incarnation
  };

  explicit ProcessEnumerator(uid_t currentUID,
                             platform::ProcRoot root = platform::ProcRoot::system());

  uid_t currentUID() const { return currentUID_; }

  ProcessSnapshot snapshot(std::chrono::system_clock::time_point now, bool detailed = true);
  ProcessSnapshot snapshot(std::chrono::system_clock::time_point now, SnapshotReads reads);

  /// Fills cwd (when unknown) and memory of one of the user's own records, read now;
  /// another user's record, or one whose process is gone, comes back unchanged.
  ProcessRecord refresh(ProcessRecord record) const;

 private:
  std::optional<ProcessRecord> readRecord(const platform::ProcessHandle& handle,
                                          SnapshotReads reads);
  const Static* cached(pid_t pid, const platform::KernelSummary& summary) const;

  uid_t currentUID_;
  std::shared_ptr<const platform::ProcessTable> table_;
  std::unordered_map<pid_t, Static> staticCache_;
};

}  // namespace glimmet
