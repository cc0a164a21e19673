// The live agent sessions the companion hands its reaper, found as `glimmet
// agents` finds them. Worked out only when the agents of the table change: a
// session begins or ends only with an agent process.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <utility>
#include <vector>

#include "core/ghosts/match_cache.h"
#include "core/process/process_snapshot.h"

namespace glimmet {

/// The agents of `snapshot` with their parents (an agent that moved under
/// another one stops being a session of its own), zombies left out. When this
/// is unchanged, so are the sessions.
std::vector<std::pair<ProcessIdentity, pid_t>> agentProcesses(const ProcessSnapshot& snapshot,
                                                              MatchCache& cache);

/// The root identities of `uid`'s live agent sessions in `snapshot`, in pid
/// order. An agent that is a zombie has ended.
std::vector<ProcessIdentity> liveSessionRoots(const ProcessSnapshot& snapshot, MatchCache& cache,
                                              uid_t uid, std::chrono::system_clock::time_point now);

}  // namespace glimmet
