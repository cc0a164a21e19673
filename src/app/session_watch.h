// Waiting for an agent session to end, for session-end hooks. While it waits it
// records, in memory, the chain of every process living under an agent, so that
// what the session started keeps its origin once the agent has exited and its
// children were re-parented. Snapshots come from the caller and time from the
// clock it passes, so tests run a day-long wait over recorded tables.
#pragma once

#include <functional>

#include "core/ghosts/ancestry_recorder.h"
#include "core/ghosts/signature_engine.h"
#include "core/kill/kill_clock.h"
#include "core/process/process_snapshot.h"

namespace glimmet {

struct SessionWatch {
  /// How often the session's root is checked and the table observed.
  static constexpr double kPollSeconds = 2;
  /// A session that outlives this is given up on.
  static constexpr double kLongestWaitSeconds = 86400;
};

/// Whether `session` is gone from `snapshot`: no process with its pid, another
/// process under that pid, or a zombie.
bool sessionHasEnded(const ProcessIdentity& session, const ProcessSnapshot& snapshot);

/// Observes `takeSnapshot()` into `recorder` every poll until the session has
/// ended in one of them or the longest wait has passed. Records of processes
/// that are gone are dropped as it goes, so a day-long wait stays small.
void watchSessionEnd(const ProcessIdentity& session,
                     const std::function<ProcessSnapshot()>& takeSnapshot,
                     const SignatureEngine& signatures, AncestryRecorder& recorder,
                     KillClock& clock);

}  // namespace glimmet
