// glimmet mcp: the read-only MCP server on standard input and output.
#pragma once

#include "cli/command_spec.h"

namespace glimmet::cli {

struct MCP {
  CommandSpec spec();
};

}  // namespace glimmet::cli
