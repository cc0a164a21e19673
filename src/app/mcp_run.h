// glimmet mcp: the read-only MCP server on standard input and output, answering
// each message as soon as it is complete, until the client ends its input.
#pragma once

#include "app/run_context.h"
#include "core/error.h"

namespace glimmet {

/// The server takes no options.
struct MCPRequest {};

/// Serves `context.input` until it ends. Standard output carries only the
/// protocol; the one warning (a call log kept locked) goes to `context.error`.
ExitStatus runMCP(const MCPRequest& request, RunContext& context);

}  // namespace glimmet
