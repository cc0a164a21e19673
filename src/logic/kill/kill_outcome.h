// What `glimmet kill` says when it is done: one sentence and the exit status.
#pragma once

#include <string>

#include "core/error.h"
#include "core/kill/kill_report.h"

namespace glimmet {

struct KillOutcome {
  std::string line;
  ExitStatus status = ExitStatus::ok;
};

/// The sentence and status of a report about `target` (":3000 :3001" or "PID 42").
KillOutcome describeKill(const KillReport& report, const std::string& target);

/// Whether the report is worth a kill-log entry: a target that was gone by the
/// time we looked stopped without us.
bool isLogged(const KillReport& report);

}  // namespace glimmet
