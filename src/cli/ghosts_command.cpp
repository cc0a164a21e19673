// glimmet ghosts.
#include "cli/ghosts_command.h"

#include "app/ghosts_run.h"

namespace glimmet::cli {

CommandSpec Ghosts::spec() {
  return {
      .name = "ghosts",
      .abstract = "List ghost processes left behind by AI agents.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run = [this](CommandContext& context) { return runGhosts({.json = json}, context); },
  };
}

}  // namespace glimmet::cli
