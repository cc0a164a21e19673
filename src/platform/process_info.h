// The operating system's process table, one process incarnation at a time.
//
// A ProcessHandle is tied to the incarnation it was opened on: once that process
// exits, every read through the handle fails, even if its pid is reused at once.
// That is what lets the snapshot and the tree killer never mix two processes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/proc_root.h"
#include "platform/unique_fd.h"

namespace glimmet::platform {

enum class ProcessStatus { running, stopped, zombie, other };

/// The kernel's summary of one process: cheap to read for any process.
struct KernelSummary {
  pid_t pid = 0;
  pid_t ppid = 0;
  pid_t pgid = 0;
  pid_t sid = 0;
  uid_t uid = 0;       ///< effective user id
  uid_t realUID = 0;   ///< who started it: differs from uid in a setuid program
  uid_t savedUID = 0;  ///< what a setuid program can switch back to
  ProcessStatus status = ProcessStatus::other;
  std::string name;             ///< the kernel's short command name
  std::uint64_t startTime = 0;  ///< microseconds since 1970, stable for the incarnation
  bool hasControllingTTY = false;
};

struct MemoryUsage {
  std::uint64_t footprint = 0;  ///< bytes the process alone costs (anonymous, shared, swapped)
  std::uint64_t resident = 0;   ///< resident bytes
};

/// The summary with the memory figures that come from the same read.
struct KernelReading {
  KernelSummary summary;
  MemoryUsage memory;
  std::uint64_t cpuTime = 0;  ///< microseconds of user and system time used so far
};

struct ProcessArguments {
  std::vector<std::string> argv;
  std::vector<std::string> environment;  ///< empty when the process doesn't let us read it
};

/// What the system did with a signal.
enum class SignalDelivery { sent, noSuchProcess, notPermitted, failed };

class ProcessTable;

class ProcessHandle {
 public:
  ProcessHandle(ProcessHandle&&) = default;
  ProcessHandle& operator=(ProcessHandle&&) = default;

  pid_t pid() const { return pid_; }

  /// Nothing when the process is gone or is a kernel thread.
  std::optional<KernelReading> read() const;
  /// The summary as a snapshot reads it, for less than read(): the stat line,
  /// and the owner from the folder itself, which the kernel gives the process's
  /// effective uid. A folder owned by root may be a process that is not
  /// dumpable (its folder is root's whatever its uid), so then, and only then,
  /// the status text is read for the uids. realUID and savedUID are the
  /// effective uid unless that text was read. Nothing when gone or a kernel thread.
  std::optional<KernelSummary> summary() const;
  /// The start time alone (one stat read): tells whether a pid reopened later
  /// still names the incarnation a snapshot saw. Nothing when gone.
  std::optional<std::uint64_t> startTime() const;
  /// The memory figures alone (the status text); nothing when gone.
  std::optional<MemoryUsage> memory() const;
  /// The arguments alone; nothing when the process is gone.
  std::optional<std::vector<std::string>> commandLine() const;
  /// The environment alone; empty when the process doesn't let us read it.
  std::vector<std::string> environment() const;
  /// The executable; a deleted binary keeps its old path.
  std::optional<std::string> executablePath() const;
  /// Nothing when even argv can't be read (gone); an unreadable environment is empty.
  std::optional<ProcessArguments> arguments() const;
  /// Nothing when unknown or the folder was deleted.
  std::optional<std::string> workingDirectory() const;
  /// `path` as this process would open it (a relative one against its working
  /// folder), every symbolic link followed; nothing when it doesn't exist.
  std::optional<std::string> resolvedPath(std::string_view path) const;
  /// The inodes of the sockets this process holds open.
  std::vector<std::uint64_t> socketInodes() const;
  /// Signals exactly the incarnation this handle was opened on: a process that
  /// took over its pid since then is never hit.
  SignalDelivery signal(int number) const;
  /// Signals the whole process group this handle's process leads, through the
  /// handle where the kernel allows it, so a group id left behind by an exited
  /// leader and taken by a newcomer is never hit; killpg otherwise.
  SignalDelivery signalGroup(int number) const;

 private:
  friend class ProcessTable;
  ProcessHandle(pid_t pid, UniqueFd directory, const ProcessTable& table)
      : pid_(pid), directory_(std::move(directory)), table_(&table) {}

  pid_t pid_;
  UniqueFd directory_;
  const ProcessTable* table_;
};

/// The live table. Start times are the boot time plus the kernel's start ticks; the
/// boot time is read once per table, so every identity within one run agrees.
/// Tests give it a crafted procfs folder; a handle opened over such a folder
/// reads its files but never signals anything.
class ProcessTable {
 public:
  explicit ProcessTable(ProcRoot root = ProcRoot::system());

  /// Every pid above 0, in the kernel's listing order; empty when listing fails.
  std::vector<pid_t> allPIDs() const;
  /// Nothing when the process is already gone.
  std::optional<ProcessHandle> open(pid_t pid) const;

  std::uint64_t startTimeFromTicks(std::uint64_t ticksSinceBoot) const;
  /// Microseconds in `ticks` of the kernel's clock.
  std::uint64_t durationFromTicks(std::uint64_t ticks) const { return ticks * microsPerTick_; }

 private:
  ProcRoot root_;
  std::uint64_t bootTimeMicros_ = 0;
  std::uint64_t microsPerTick_ = 10'000;
};

/// Signals every process of the group `pgid` at once.
SignalDelivery signalProcessGroup(pid_t pgid, int number);

/// The kernel keeps only 15 bytes of a process name; for the user's own processes
/// this completes a cut name from argv[0] or the executable, when one starts with it.
std::string completeProcessName(const std::string& kernelName, const std::vector<std::string>& argv,
                                const std::optional<std::string>& path);

}  // namespace glimmet::platform
