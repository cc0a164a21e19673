// glimmet kill: resolve a port or pid in one snapshot, stop its tree, log the
// stop, and say what happened.
#pragma once

#include <optional>

#include "app/run_context.h"
#include "core/error.h"
#include "core/kill/kill_target.h"

namespace glimmet {

struct KillRequest {
  KillTarget target;
  bool force = false;
  std::optional<double> grace;  ///< the settings' grace period when absent
};

/// Throws CommandFailure when nothing matches the target.
ExitStatus runKill(const KillRequest& request, RunContext& context);

}  // namespace glimmet
