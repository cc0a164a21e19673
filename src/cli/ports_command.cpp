// glimmet ports.
#include "cli/ports_command.h"

#include "app/ports_run.h"

namespace glimmet::cli {

CommandSpec Ports::spec() {
  return {
      .name = "ports",
      .abstract = "Show what is listening, including ports owned by another user.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run = [this](CommandContext& context) { return runPorts({.json = json}, context); },
  };
}

}  // namespace glimmet::cli
