// The MCP tools that look at the machine, one command survey per call: the
// documents exactly as the commands print them, and the safety verdict over
// the same kind of survey the commands would act on.
#pragma once

#include <string>

#include "app/command_inputs.h"
#include "logic/mcp/safety_gate.h"

namespace glimmet {

/// `glimmet status --json`'s output, line feed included.
std::string mcpStatusText(const CommandInputs& inputs);
/// `glimmet ports --json`'s output, line feed included.
std::string mcpPortsText(const CommandInputs& inputs);
/// `glimmet agents --json`'s output, line feed included.
std::string mcpAgentsText(const CommandInputs& inputs);
/// Whether the person would be asked before `target` (not empty) is stopped.
MCPSafetyVerdict mcpSafetyVerdict(const CommandInputs& inputs, const MCPTarget& target);

}  // namespace glimmet
