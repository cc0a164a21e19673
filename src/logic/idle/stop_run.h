// glimmet stop --idle from survey to sentences: make the plan, show it, ask,
// and stop each planned server's tree after a typed yes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "app/command_inputs.h"
#include "core/error.h"
#include "core/output/output.h"
#include "logic/idle/idle_plan.h"

namespace glimmet {

struct StopIdleRequest {
  std::optional<std::int64_t> olderThanMinutes;
  bool json = false;
};

/// Asked once, after the plan and the question have been written and flushed.
using StopConfirmer = std::function<StopConfirm()>;

ExitStatus runStopIdle(const CommandInputs& inputs, const StopIdleRequest& request, Output& out,
                       const StopConfirmer& confirm);

}  // namespace glimmet
