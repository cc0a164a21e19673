// glimmet reap from options to lines: find the session, wait for it if asked,
// select ghosts under the reaper rules, stop or list them, and say so.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "app/command_inputs.h"
#include "core/error.h"
#include "core/kill/kill_clock.h"
#include "core/kill/reaper.h"

namespace glimmet {

struct ReapRequest {
  bool dryRun = false;
  std::optional<double> olderThan;  ///< seconds, already parsed
  std::optional<pid_t> session;
  bool afterExit = false;
  std::optional<std::string> agent;
  bool includeDevServers = false;
  bool quiet = false;
};

struct ReapOutcome {
  std::vector<std::string> lines;
  ExitStatus status = ExitStatus::ok;
};

/// The session's agent root: `pid` itself or the nearest ancestor that is an
/// agent root. Throws CommandFailure when there is none.
ProcessIdentity findSession(pid_t pid, const ProcessSnapshot& snapshot,
                            const SignatureEngine& signatures);

/// The lines and status of a finished reap.
ReapOutcome describeReap(const ReapResult& result, bool quiet);

/// The ghosts a run stops, in report order. With `afterExit` and a session the
/// session-end rules apply: exact origins of that session, of any age (unless
/// --older-than asks for one); otherwise the command-line rules, narrowed to the
/// session's exact origins when one is given. `--agent` narrows either.
std::vector<Ghost> chooseGhosts(const std::vector<Ghost>& ghosts, const ReapRequest& request,
                                const std::optional<ProcessIdentity>& session, ReaperRules rules,
                                std::chrono::system_clock::time_point now);

/// With `afterExit` it waits for the session's end, recording what the session
/// runs meanwhile, then `sessionGrace`. `clock` paces the wait for the session's end and its grace
/// period.
ReapOutcome runReap(const CommandInputs& inputs, const ReapRequest& request, KillClock& clock);

}  // namespace glimmet
