// The process table read over and over at little cost, for a watcher that
// looks every second for as long as the user is logged in. A listing hands out,
// beside each pid, the kernel's number for that pid's /proc entry: the entry is
// made anew for every process that takes the pid, so an unchanged number means
// the process is the one seen before and nothing of it needs reading again.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/proc_root.h"
#include "platform/process_info.h"
#include "platform/unique_fd.h"

namespace glimmet::platform {

struct ListedProcess {
  pid_t pid = 0;
  /// The inode of /proc/<pid>: another process under the same pid lists
  /// another number. A changed number alone proves nothing (the kernel may
  /// have made the entry again for the same process): read it to know.
  std::uint64_t entryID = 0;
};

/// The one file every process has that says who it is and who its parent is.
struct ProcessStat {
  pid_t pid = 0;
  pid_t ppid = 0;
  pid_t pgid = 0;
  pid_t sid = 0;
  ProcessStatus status = ProcessStatus::other;
  std::string name;             ///< the kernel's short name: an exec changes it
  std::uint64_t startTime = 0;  ///< microseconds since 1970, as ProcessTable computes it
  bool hasControllingTTY = false;
  bool kernelThread = false;
};

/// Holds the process file system's root open between listings.
class ProcessScanner {
 public:
  explicit ProcessScanner(ProcRoot root = ProcRoot::system());

  /// Every pid above 0 with its entry number, in the kernel's order, into
  /// `out` (cleared first, its storage kept). False when the listing failed.
  bool list(std::vector<ListedProcess>& out);
  /// One read of <pid>/stat; nothing when the process is gone or the text is
  /// malformed.
  std::optional<ProcessStat> stat(pid_t pid) const;

  /// For the full reads of a process seen for the first time.
  const ProcessTable& table() const { return table_; }

 private:
  ProcRoot root_;
  ProcessTable table_;
  UniqueFd rootFd_;
  std::vector<char> buffer_;
};

}  // namespace glimmet::platform
