// The two lists a process command derives from one snapshot: dev servers and
// ghosts. `ls` and `ghosts` take one each; the survey takes both from the same
// snapshot so they describe the same instant.
#pragma once

#include <optional>
#include <set>
#include <vector>

#include "app/command_inputs.h"
#include "core/ghosts/ghost_scanner.h"
#include "core/ports/dev_server.h"
#include "core/ports/socket_scanner.h"
#include "core/process/process_snapshot.h"

namespace glimmet {

/// What one run reads of the system besides the snapshot, read once.
class SystemView {
 public:
  SystemView(const CommandInputs& inputs, const ProcessSnapshot& snapshot);

  const ProcessSnapshot& snapshot() const { return snapshot_; }
  const std::vector<ListeningProcess>& listening() const { return listening_; }
  RepoResolver& repos() { return repos_; }
  /// The ports each of the user's processes listens on.
  std::unordered_map<pid_t, std::vector<std::uint16_t>> portsByPid() const;
  /// Other users' listeners, and those whose holder can't be read.
  std::vector<ForeignListener> foreignListeners() const;

 private:
  const ProcessSnapshot& snapshot_;
  uid_t uid_;
  SocketScanner sockets_;
  std::vector<ListeningProcess> listening_;
  RepoResolver repos_;
};

std::vector<DevServer> devServers(const CommandInputs& inputs, SystemView& view, MatchCache* cache,
                                  const std::set<pid_t>& ghostPIDs);

/// Throws nothing; needs the signatures (the caller checks). `minimumAge`
/// replaces the settings' ghostMinimumAge when given.
GhostReport ghostReport(const CommandInputs& inputs, SystemView& view, GhostScanner& scanner,
                        std::optional<double> minimumAge = std::nullopt);

}  // namespace glimmet
