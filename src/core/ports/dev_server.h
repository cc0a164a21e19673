// Dev servers: every process that listens on a TCP port, the user's own with
// their folder, repository and branch, other users' as second-class entries.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/ghosts/protection.h"
#include "core/ports/repo_resolver.h"
#include "core/ports/socket_scanner.h"
#include "core/process/process_snapshot.h"

namespace glimmet {

struct DevServer {
  std::string id;  ///< "pid@startTime", or "foreign-pid" for another user's listener
  std::optional<ProcessIdentity> identity;
  pid_t pid = 0;
  std::vector<std::uint16_t> ports;  ///< ascending, no duplicates
  std::string name;
  std::optional<std::string> commandLine;
  std::optional<std::string> cwd;
  std::optional<RepoStatus> repo;
  std::optional<std::chrono::system_clock::time_point> startDate;
  std::uint64_t footprint = 0;
  bool ownedByCurrentUser = false;
  std::optional<ProtectionReason> protection;
  std::optional<std::string> framework;
  bool isGhost = false;
  std::optional<pid_t> ppid;
  /// The argument vector, kept so that documents mask secrets argument by argument.
  std::vector<std::string> arguments;

  /// The repository, when the folder is in one.
  const RepoInfo* repoInfo() const {
    return repo && repo->kind == RepoStatus::Kind::repo ? &*repo->info : nullptr;
  }
  /// The framework, or else the process name.
  const std::string& displayName() const { return framework ? *framework : name; }
};

/// What building the list asks of the rest of the run.
struct DevServerSources {
  std::function<RepoStatus(const std::string& cwd)> repoLookup;
  std::function<std::optional<ProtectionReason>(const ProcessRecord&,
                                                const std::vector<std::uint16_t>& ports)>
      protection;
  std::function<std::optional<std::string>(const ProcessRecord&)> framework;
};

class DevServerList {
 public:
  /// Processes younger than this are still starting and aren't listed yet.
  static constexpr double kMinimumAgeSeconds = 2.0;

  /// The user's listeners joined to the snapshot, and other users' listeners
  /// grouped by pid, sorted: ghosts first, then lowest port, then pid.
  static std::vector<DevServer> build(const ProcessSnapshot& snapshot,
                                      const std::vector<ListeningProcess>& listening,
                                      const std::vector<ForeignListener>& foreign,
                                      const DevServerSources& sources,
                                      const std::set<pid_t>& ghostPIDs, uid_t currentUID,
                                      std::chrono::system_clock::time_point now);
};

}  // namespace glimmet
