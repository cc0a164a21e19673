// glimmet reap: find the session, wait for it if asked, select ghosts under
// the reaper rules, stop or list them, and say so.
#pragma once

#include "app/run_context.h"
#include "core/error.h"
#include "logic/reaper/reap_plan.h"

namespace glimmet {

/// With `afterExit` it waits for the session's end, recording what the session
/// runs meanwhile, then the settings' session grace.
ExitStatus runReap(const ReapRequest& request, RunContext& context);

}  // namespace glimmet
