// The MCP server wired to this machine: settings and heartbeat read for each
// message, one command survey per tool call, the call log and the quit inbox
// in the shared folder.
#pragma once

#include <filesystem>
#include <ostream>

#include "logic/mcp/mcp_server.h"
#include "platform/environment.h"

namespace glimmet {

/// What one `glimmet mcp` run remembers between messages about the shared
/// folder: the call log's lock was held past its wait. Standard output carries
/// only the protocol, so that is said once, on `warnings` (standard error).
class MCPLogNotice {
 public:
  explicit MCPLogNotice(std::ostream& warnings) : warnings_(warnings) {}
  void lockWasHeld();

 private:
  std::ostream& warnings_;
  bool said_ = false;
};

/// The server for the next message, with `mcp.enabled` and the heartbeat as
/// they are now.
MCPServer liveMCPServer(const Environment& environment, const std::filesystem::path& executable,
                        MCPLogNotice& notice);

}  // namespace glimmet
