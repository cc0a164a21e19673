// glimmet ls.
#include "cli/ls_command.h"

namespace glimmet::cli {

CommandSpec List::spec() {
  return {
      .name = "ls",
      .abstract = "List dev servers and the ports they hold.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run = notBuiltYet,
  };
}

}  // namespace glimmet::cli
