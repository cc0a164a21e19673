// glimmet ports.
#include "cli/ports_command.h"

namespace glimmet::cli {

CommandSpec Ports::spec() {
  return {
      .name = "ports",
      .abstract = "Show what is listening, including ports owned by another user.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run = notBuiltYet,
  };
}

}  // namespace glimmet::cli
