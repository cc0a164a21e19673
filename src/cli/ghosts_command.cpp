// glimmet ghosts.
#include "cli/ghosts_command.h"

namespace glimmet::cli {

CommandSpec Ghosts::spec() {
  return {
      .name = "ghosts",
      .abstract = "List ghost processes left behind by AI agents.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run = notBuiltYet,
  };
}

}  // namespace glimmet::cli
