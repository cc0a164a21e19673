// glimmet kill from target to sentence: resolve a port or pid in one snapshot,
// stop its tree, log the stop, and say what happened.
#pragma once

#include <optional>
#include <string>

#include "app/command_inputs.h"
#include "core/error.h"
#include "core/kill/kill_report.h"
#include "core/kill/kill_target.h"

namespace glimmet {

struct KillRequest {
  KillTarget target;
  bool force = false;
  std::optional<double> grace;  ///< the settings' grace period when absent
};

struct KillOutcome {
  std::string line;
  ExitStatus status = ExitStatus::ok;
};

/// Throws CommandFailure when nothing matches the target.
KillOutcome runKill(const CommandInputs& inputs, const KillRequest& request);

/// The sentence and status of a report about `target` (":3000 :3001" or "PID 42").
KillOutcome describeKill(const KillReport& report, const std::string& target);

}  // namespace glimmet
