// The shared gathering step of status, ports, agents, stop and the MCP tools:
// one snapshot, and the dev servers, ghosts and live agent sessions derived from
// it, so that every list of one run describes the same instant.
#pragma once

#include <vector>

#include "app/command_inputs.h"
#include "core/ghosts/ghost.h"
#include "core/ports/dev_server.h"
#include "core/process/process_snapshot.h"
#include "logic/agents/agent_session.h"

namespace glimmet {

struct CLISurvey {
  ProcessSnapshot snapshot;
  std::vector<DevServer> servers;
  std::vector<Ghost> ghosts;           ///< empty when the signatures can't be found
  std::vector<AgentSession> sessions;  ///< the user's; empty without the signatures

  /// Takes the snapshot now and derives the three lists from it.
  static CLISurvey gather(const CommandInputs& inputs);
};

}  // namespace glimmet
