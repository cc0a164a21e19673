// glimmet ls.
#include "cli/ls_command.h"

#include "app/ls_run.h"

namespace glimmet::cli {

CommandSpec List::spec() {
  return {
      .name = "ls",
      .abstract = "List dev servers and the ports they hold.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run = [this](CommandContext& context) { return runLs({.json = json}, context); },
  };
}

}  // namespace glimmet::cli
