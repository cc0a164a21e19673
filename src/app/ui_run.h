// glimmet ui: one full-screen view over agent sessions, ghosts, dev servers
// and the last disk scan, refreshed from one survey every 2 seconds, from
// which a person stops a process tree or cleans marked disk items after
// saying yes in the view.
#pragma once

#include "app/run_context.h"
#include "core/error.h"

namespace glimmet {

struct UiRequest {};

/// Throws CommandFailure (status 3) without a terminal on standard input and output.
ExitStatus runUi(const UiRequest& request, RunContext& context);

}  // namespace glimmet
