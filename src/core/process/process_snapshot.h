// One immutable view of the process table: every record by pid, in the order the
// kernel listed them, with each parent's children, and the tree queries the
// ghost, killer and session code walk.
#pragma once

#include <chrono>
#include <optional>
#include <unordered_map>
#include <vector>

#include "core/process/process_record.h"

namespace glimmet {

class ProcessSnapshot {
 public:
  ProcessSnapshot() = default;
  /// A later record for the same pid replaces an earlier one.
  ProcessSnapshot(std::chrono::system_clock::time_point takenAt,
                  std::vector<ProcessRecord> records);

  std::chrono::system_clock::time_point takenAt() const { return takenAt_; }
  /// Every record in enumeration order.
  const std::vector<ProcessRecord>& records() const { return records_; }
  std::size_t size() const { return records_.size(); }
  /// The records back, in enumeration order, for a table that lends itself out
  /// as a snapshot instead of copying every record each time.
  std::vector<ProcessRecord> takeRecords() && { return std::move(records_); }

  const ProcessRecord* record(pid_t pid) const;
  /// The pids whose ppid is `pid`, in enumeration order.
  const std::vector<pid_t>& childPIDs(pid_t pid) const;
  std::vector<const ProcessRecord*> children(pid_t pid) const;
  /// Everything below `pid`, breadth first, each process once, `pid` itself left out.
  /// Finite even when parent links form a loop.
  std::vector<const ProcessRecord*> descendants(pid_t pid) const;
  /// Parent steps from `pid` up to `ancestor` (0 when equal); nothing when the
  /// chain doesn't reach it.
  std::optional<int> depth(pid_t pid, pid_t ancestor) const;

 private:
  std::chrono::system_clock::time_point takenAt_{};
  std::vector<ProcessRecord> records_;
  std::unordered_map<pid_t, std::size_t> indexByPID_;
  std::unordered_map<pid_t, std::vector<pid_t>> children_;
};

}  // namespace glimmet
