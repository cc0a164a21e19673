// The process table as the companion keeps it: read in full once per process,
// then followed at the cost of one listing of /proc per look. A process is read
// again only when its /proc entry changed (its pid may have been reused), when
// its parent went away (it was re-parented), while it is new (it may exec
// right after its fork), and in a slow sweep that reaches every process within
// half a minute (an exec later in life). Environments are never kept: nothing
// the companion decides needs them, and they are most of a table's memory.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/process/process_snapshot.h"
#include "platform/process_scan.h"

namespace glimmet {

/// What one look found changed.
struct ProcessChanges {
  std::size_t added = 0;    ///< processes read for the first time (pid reuse included)
  std::size_t removed = 0;  ///< processes gone (a reused pid's old process included)
  /// Processes that exec'd another program since they were read: what a match
  /// said of them no longer holds.
  std::vector<ProcessIdentity> replacedPrograms;
  std::size_t reparented = 0;  ///< processes whose parent changed
  std::size_t restated = 0;    ///< processes stopped, continued or turned zombie
  bool listingFailed = false;

  bool any() const {
    return added + removed + reparented + restated > 0 || !replacedPrograms.empty();
  }
};

class ProcessWatch {
 public:
  /// Every process new to the table gets its stat read again on this many looks.
  static constexpr int kLooksWhileNew = 2;
  /// The sweep reaches each process at least once in this many looks.
  static constexpr std::size_t kSweepLooks = 30;

  ProcessWatch(uid_t currentUID, platform::ProcRoot root = platform::ProcRoot::system());

  /// One look at the table.
  ProcessChanges look();
  /// Hands the table as of the last look to `use` as a snapshot stamped
  /// `takenAt`. The records are lent, not copied: the table is most of the
  /// companion's memory, and a copy at every change would double it.
  template <typename Use>
  void withSnapshot(std::chrono::system_clock::time_point takenAt, Use&& use) {
    // Each pid is once in records_, so the snapshot keeps their order and the
    // entries' indices hold when the records come back.
    ProcessSnapshot snapshot(takenAt, std::move(records_));
    try {
      use(std::as_const(snapshot));
    } catch (...) {
      records_ = std::move(snapshot).takeRecords();
      throw;
    }
    records_ = std::move(snapshot).takeRecords();
  }
  std::size_t size() const { return records_.size(); }
  /// Processes read again at every look, not only when their entry changes:
  /// the agents, whose exit (a zombie until reaped) or exec ends a session.
  void checkEveryLook(std::vector<pid_t> pids) { closelyWatched_ = std::move(pids); }

 private:
  struct Entry {
    std::size_t index = 0;   ///< of its record in records_
    std::string kernelName;  ///< the name the kernel gave at the last read
    std::uint64_t entryID = 0;
    std::uint64_t lookSeen = 0;
    int looksWhileNew = kLooksWhileNew;
  };
  struct Reading {
    ProcessRecord record;
    std::string kernelName;
  };
  std::optional<Reading> readNew(pid_t pid, bool& kernelThread) const;
  void put(pid_t pid, std::uint64_t entryID, Reading reading);
  void erase(pid_t pid);
  void recheck(pid_t pid, std::uint64_t entryID, ProcessChanges& changes,
               std::vector<pid_t>& vacated);
  void add(pid_t pid, std::uint64_t entryID, ProcessChanges& changes);
  void sweep(ProcessChanges& changes, std::vector<pid_t>& vacated);

  uid_t currentUID_;
  platform::ProcessScanner scanner_;
  /// The records, one per pid, in no order; entries_ says where each one is.
  std::vector<ProcessRecord> records_;
  std::unordered_map<pid_t, Entry> entries_;
  /// Kernel threads, by entry number, so that they cost nothing until their
  /// pid goes to another process.
  struct Ignored {
    std::uint64_t entryID = 0;
    std::uint64_t lookSeen = 0;
  };
  std::unordered_map<pid_t, Ignored> ignored_;
  std::vector<platform::ListedProcess> listing_;
  std::vector<pid_t> closelyWatched_;
  std::vector<pid_t> sweepOrder_;
  std::size_t sweepNext_ = 0;
  std::uint64_t look_ = 0;
};

}  // namespace glimmet
