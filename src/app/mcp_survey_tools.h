// The MCP tools that look at the machine, one command survey per call: the
// documents exactly as the commands print them, and the safety verdict over
// the same kind of survey the commands would act on.
#pragma once

#include <string>
#include <vector>

#include "app/command_inputs.h"
#include "logic/mcp/safety_gate.h"
#include "logic/survey/survey.h"

namespace glimmet {

/// `glimmet status --json`'s output, line feed included.
std::string mcpStatusText(const CommandInputs& inputs);
/// `glimmet ports --json`'s output, line feed included.
std::string mcpPortsText(const CommandInputs& inputs);
/// `glimmet agents --json`'s output, line feed included.
std::string mcpAgentsText(const CommandInputs& inputs);
/// The root and agent of each live session of `survey`, as the safety rules see them.
std::vector<SessionRoot> sessionRoots(const Survey& survey);
/// What the safety facts are read from: `survey` and this run's rules. Refers
/// to all three arguments, which must outlive it.
SafetyView safetyView(const CommandInputs& inputs, const Survey& survey,
                      const std::vector<SessionRoot>& roots);

/// Whether the person would be asked before `target` (not empty) is stopped.
MCPSafetyVerdict mcpSafetyVerdict(const CommandInputs& inputs, const MCPTarget& target);

}  // namespace glimmet
