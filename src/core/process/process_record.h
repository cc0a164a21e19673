// One process as a snapshot saw it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/process/deferred.h"
#include "core/process/process_identity.h"
#include "platform/process_info.h"

namespace glimmet {

using ProcessStatus = platform::ProcessStatus;

/// "running", "stopped", "zombie", "other"
std::string_view statusName(ProcessStatus status);

/// The fields that cost a read of their own (executable, environment, working
/// folder, script, memory) are deferred: a snapshot reads them for the
/// processes a command asks about, when it asks.
struct ProcessRecord {
  ProcessIdentity identity;
  pid_t ppid = 0;
  pid_t pgid = 0;
  uid_t uid = 0;
  ProcessStatus status = ProcessStatus::other;
  std::string name;
  Deferred<std::optional<std::string>> path;  ///< absent for other users' processes
  std::vector<std::string> argv;              ///< empty for other users' processes
  /// "NAME=value"; empty for other users' processes
  Deferred<std::vector<std::string>> environment;
  Deferred<std::optional<std::string>> cwd;  ///< own processes, detailed snapshots only
  /// The script an interpreter runs ("node /usr/local/bin/gemini"), resolved against
  /// its working folder with symbolic links followed; own processes only.
  Deferred<std::optional<std::string>> script;
  bool hasControllingTTY = false;
  Deferred<std::uint64_t> footprint;
  Deferred<std::uint64_t> residentSize;

  pid_t pid() const { return identity.pid; }

  /// The arguments joined with single spaces, or the name when there are none.
  std::string commandLine() const;
  /// Seconds since the process started, as of `now`.
  double age(std::chrono::system_clock::time_point now) const;
  std::chrono::system_clock::time_point startDate() const;
  /// The value of `name` in the environment, when set.
  std::optional<std::string_view> environmentValue(std::string_view name) const;
};

/// A record of what the kernel summary says: identity, parent, group, owner,
/// status, the short name. The rest is read per process by whoever needs it.
ProcessRecord recordFromSummary(const platform::KernelSummary& summary);

}  // namespace glimmet
