// glimmet agents.
#include "cli/agents_command.h"

namespace glimmet::cli {

CommandSpec Agents::spec() {
  return {
      .name = "agents",
      .abstract = "List live agent sessions and the crash orphans they left behind.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run = notBuiltYet,
  };
}

}  // namespace glimmet::cli
