// The root command.
#include "cli/glimmet.h"

namespace glimmet::cli {

CommandSpec Glimmet::spec() {
  return {
      .name = "glimmet",
      .abstract = "Your Linux machine's friendly ghost catcher.",
      .subcommands =
          {
              ls_.spec(),       ghosts_.spec(),    kill_.spec(),   reap_.spec(),
              protect_.spec(),  unprotect_.spec(), disk_.spec(),   apps_.spec(),
              status_.spec(),   ports_.spec(),     agents_.spec(), stop_.spec(),
              ui_.spec(),       mcp_.spec(),       notify_.spec(), companion_.spec(),
              requests_.spec(), settings_.spec(),  hooks_.spec(),  version_.spec(),
          },
  };
}

}  // namespace glimmet::cli
