// The shared gathering step of status, ports, agents, stop and the MCP tools:
// one snapshot, and the dev servers, ghosts and live agent sessions derived from
// it, so that every list of one run describes the same instant.
#pragma once

#include <chrono>

#include "app/command_inputs.h"
#include "logic/survey/survey.h"

namespace glimmet {

struct CLISurvey : Survey {
  /// Takes the snapshot now and derives the three lists from it.
  static CLISurvey gather(const CommandInputs& inputs);
  /// The same, with the snapshot stamped `now`.
  static CLISurvey gather(const CommandInputs& inputs, std::chrono::system_clock::time_point now);
};

}  // namespace glimmet
