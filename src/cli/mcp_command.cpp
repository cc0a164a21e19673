// glimmet mcp.
#include "cli/mcp_command.h"

#include "app/mcp_run.h"

namespace glimmet::cli {

CommandSpec MCP::spec() {
  return {
      .name = "mcp",
      .abstract = "Read-only MCP server. Quitting anything waits for your answer.",
      .discussion =
          "Off until you turn it on with glimmet settings set mcp.enabled true. A request to quit "
          "something waits until you answer it in the companion's notification or with glimmet "
          "requests. System processes and other users' processes are refused.",
      .run = [](CommandContext& context) { return runMCP({}, context); },
  };
}

}  // namespace glimmet::cli
