// The MCP server wired to this machine: settings and heartbeat read for each
// message, one command survey per tool call, the call log and the quit inbox
// in the shared folder.
#pragma once

#include <filesystem>

#include "core/util/environment.h"
#include "logic/mcp/mcp_server.h"

namespace glimmet {

/// The server for the next message, with `mcp.enabled` and the heartbeat as
/// they are now.
MCPServer liveMCPServer(const Environment& environment, const std::filesystem::path& executable);

}  // namespace glimmet
