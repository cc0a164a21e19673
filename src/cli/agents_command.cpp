// glimmet agents.
#include "cli/agents_command.h"

#include "app/agents_run.h"

namespace glimmet::cli {

CommandSpec Agents::spec() {
  return {
      .name = "agents",
      .abstract = "List live agent sessions and the crash orphans they left behind.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run = [this](CommandContext& context) { return runAgents({.json = json}, context); },
  };
}

}  // namespace glimmet::cli
