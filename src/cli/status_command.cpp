// glimmet status.
#include "cli/status_command.h"

namespace glimmet::cli {

CommandSpec Status::spec() {
  return {
      .name = "status",
      .abstract = "Summarise ghosts, dev servers and live agent sessions.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run = notBuiltYet,
  };
}

}  // namespace glimmet::cli
