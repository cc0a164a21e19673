// glimmet status.
#include "cli/status_command.h"

#include "app/status_run.h"

namespace glimmet::cli {

CommandSpec Status::spec() {
  return {
      .name = "status",
      .abstract = "Summarise ghosts, dev servers and live agent sessions.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run = [this](CommandContext& context) { return runStatus({.json = json}, context); },
  };
}

}  // namespace glimmet::cli
