// What `glimmet kill` stops, from its target and one snapshot: the process that
// listens on the port or has the pid, and how the sentences name it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/kill/kill_target.h"
#include "core/ports/socket_scanner.h"
#include "core/process/process_snapshot.h"

namespace glimmet {

struct KillSelection {
  const ProcessRecord* root = nullptr;  ///< in the snapshot; never null
  std::string target;                   ///< ":3000 :3001" or "PID 42"
  std::vector<std::uint16_t> ports;     ///< the root's listening ports, for the protection rules
};

/// A port selects the first of the user's listeners that holds it, named by all
/// its ports; a pid selects that process whoever owns it (the tree killer says
/// why it won't). Throws CommandFailure (status 1) when nothing matches.
KillSelection selectKillTarget(const KillTarget& target, const ProcessSnapshot& snapshot,
                               const std::vector<ListeningProcess>& listening);

}  // namespace glimmet
