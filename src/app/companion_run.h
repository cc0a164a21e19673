// glimmet companion run: what the companion application does for the tool,
// done by the tool itself where there is no application (Linux).
#pragma once

#include "app/run_context.h"
#include "core/error.h"

namespace glimmet {

struct CompanionRunRequest {};

/// Runs until SIGTERM or SIGINT; status 3 when another companion of this user runs.
ExitStatus runCompanion(const CompanionRunRequest& request, RunContext& context);

}  // namespace glimmet
