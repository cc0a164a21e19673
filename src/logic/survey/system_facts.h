// What a process command reads of the system besides the snapshot, handed to
// the list builders as values and lookups. The lookups run only when a list
// needs them (a repository is read for a folder that matters, a service unit
// for a process that might be a ghost), and recorded facts serve as well as
// live ones.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/ports/repo_resolver.h"
#include "core/ports/socket_scanner.h"

namespace glimmet {

struct SystemFacts {
  /// The user's listening processes, in snapshot order. Finding them reads the
  /// descriptors of every process, so a command that needs only some asks portsOf.
  Deferred<std::vector<ListeningProcess>> listening;
  /// The ports one of the user's processes listens on, ascending; by default
  /// looked up in `listening`.
  std::function<std::vector<std::uint16_t>(pid_t)> portsOf;
  /// Every listener of every user, with the holders that could be read.
  std::function<std::vector<ForeignListener>()> allListeners = [] {
    return std::vector<ForeignListener>{};
  };
  /// The repository of a working folder, as it was when the snapshot was taken.
  std::function<RepoStatus(const std::string& cwd)> repoOf = [](const std::string&) {
    return RepoStatus{};
  };
  /// A process's control-group path, when it can be read.
  std::function<std::optional<std::string>(pid_t)> cgroupOf = [](pid_t) {
    return std::optional<std::string>{};
  };
  /// Whether the service manager runs this process (it restarts it; not ours).
  std::function<bool(pid_t)> isManagedJob = [](pid_t) { return false; };

  /// The ports each of the user's listening processes holds.
  std::unordered_map<pid_t, std::vector<std::uint16_t>> portsByPID() const {
    std::unordered_map<pid_t, std::vector<std::uint16_t>> ports;
    for (const auto& listener : listening) ports[listener.identity.pid] = listener.ports;
    return ports;
  }

  std::vector<std::uint16_t> portsOfPID(pid_t pid) const {
    if (portsOf) return portsOf(pid);
    for (const auto& listener : listening)
      if (listener.identity.pid == pid) return listener.ports;
    return {};
  }
};

}  // namespace glimmet
