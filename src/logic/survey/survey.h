// The values of one survey: a snapshot with the dev servers, ghosts and live
// agent sessions derived from it, so that every list of one run describes the
// same instant. status, ports, agents, stop and the MCP tools start from one.
#pragma once

#include <vector>

#include "core/ghosts/ancestry_recorder.h"
#include "core/ghosts/ghost.h"
#include "core/ghosts/signature_engine.h"
#include "core/ports/dev_server.h"
#include "core/process/process_snapshot.h"
#include "logic/agents/agent_session.h"
#include "logic/survey/process_lists.h"
#include "logic/survey/system_facts.h"

namespace glimmet {

struct Survey {
  ProcessSnapshot snapshot;
  std::vector<DevServer> servers;
  std::vector<Ghost> ghosts;           ///< empty when the signatures can't be found
  std::vector<AgentSession> sessions;  ///< the user's; empty without the signatures

  /// Derives the three lists from `snapshot` and the facts read beside it.
  /// Without signatures (nullptr) there are dev servers only, none named by
  /// framework; `ancestry` is what was recorded of the processes' origins.
  static Survey of(ProcessSnapshot snapshot, const SystemFacts& facts, const ListRules& rules,
                   const SignatureEngine* signatures, AncestryRecorder ancestry);
  /// The same over the snapshot already in place, for facts that refer to it.
  void derive(const SystemFacts& facts, const ListRules& rules, const SignatureEngine* signatures,
              AncestryRecorder ancestry);
};

}  // namespace glimmet
