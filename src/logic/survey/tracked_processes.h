// The session builder's view of one snapshot: each record with its signature
// match, listening ports, framework, project and recorded agent.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/ghosts/ancestry_recorder.h"
#include "core/ghosts/match_cache.h"
#include "core/process/process_snapshot.h"
#include "logic/agents/agent_session.h"

namespace glimmet {

struct TrackingSources {
  const std::unordered_map<pid_t, std::vector<std::uint16_t>>* portsByPID = nullptr;
  /// The project (worktree or repository name) of a working folder, when in one.
  std::function<std::optional<std::string>(const std::string& cwd)> projectOf;
};

/// What a record alone says of a process, with no signature, port or project
/// looked up: the part every session builder input shares.
TrackedProcess trackedProcessOf(const ProcessRecord& record);

/// One tracked process per record, in snapshot order. Frameworks and recorded agents
/// are looked up only for `uid`'s processes (no other user's process joins a
/// session), and projects only for its agents, the one place a session reads them.
std::vector<TrackedProcess> trackedProcesses(const ProcessSnapshot& snapshot, MatchCache& cache,
                                             const AncestryRecorder& ancestry,
                                             const TrackingSources& sources, uid_t uid);

}  // namespace glimmet
