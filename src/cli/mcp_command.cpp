// glimmet mcp.
#include "cli/mcp_command.h"

#include "app/mcp_run.h"

namespace glimmet::cli {

CommandSpec MCP::spec() {
  return {
      .name = "mcp",
      .abstract = "Read-only MCP server. Quitting anything asks you in the Glimmet app.",
      .discussion =
          "Off until you turn it on in Settings > Integrations. System processes and other users' "
          "processes are refused.",
      .run = [](CommandContext& context) { return runMCP({}, context); },
  };
}

}  // namespace glimmet::cli
