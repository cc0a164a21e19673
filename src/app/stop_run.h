// glimmet stop --idle: make the plan from a survey, show it, ask, and stop
// each planned server's tree after a typed yes.
#pragma once

#include <cstdint>
#include <optional>

#include "app/run_context.h"
#include "core/error.h"

namespace glimmet {

struct StopIdleRequest {
  std::optional<std::int64_t> olderThanMinutes;
  bool json = false;
};

/// The yes is read from the run's input, and only when standard input is a terminal.
ExitStatus runStopIdle(const StopIdleRequest& request, RunContext& context);

}  // namespace glimmet
