// One agent session as the companion sees it at a look: enough to tell whether
// it is working and what it would leave behind.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "core/output/iso8601.h"
#include "core/process/process_identity.h"
#include "logic/agents/agent_notify_copy.h"

namespace glimmet {

struct WatchedSession {
  ProcessIdentity root;  ///< the agent
  std::string agent;     ///< its display name
  SystemTime start;      ///< when the agent started
  bool live = true;      ///< false for a session that ended lately
  /// CPU time the agent itself has used so far, when it could be read.
  std::optional<std::chrono::microseconds> agentCPU;
  /// CPU time the agent and all of its processes have used so far.
  std::optional<std::chrono::microseconds> sessionCPU;
  /// Changes whenever a process of the session starts or ends.
  std::uint64_t membersDigest = 0;
  /// What runs besides the agent and its MCP servers, which end with it.
  LeftBehind leftBehind;
};

}  // namespace glimmet
