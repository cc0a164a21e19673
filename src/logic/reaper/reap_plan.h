// glimmet reap's decisions: the session a pid belongs to, the ghosts a run
// stops, and the lines and status that say how it went. Pure, over one
// snapshot, its ghost report and the reports of the stops.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/ghosts/ghost.h"
#include "core/ghosts/signature_engine.h"
#include "core/kill/reaper.h"
#include "core/process/process_snapshot.h"
#include "core/settings/glimmet_settings.h"

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

/// The ghosts a run stops, in report order. With `afterExit` and a session the
/// session-end rules apply: exact origins of that session, of any age (unless
/// --older-than asks for one); otherwise the command-line rules, narrowed to the
/// session's exact origins when one is given. `--agent` narrows either.
std::vector<Ghost> chooseGhosts(const std::vector<Ghost>& ghosts, const ReapRequest& request,
                                const std::optional<ProcessIdentity>& session, ReaperRules rules,
                                std::chrono::system_clock::time_point now);

/// The lines and status of a finished reap.
ReapOutcome describeReap(const ReapResult& result, bool quiet);

}  // namespace glimmet
