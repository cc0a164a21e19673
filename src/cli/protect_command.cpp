// glimmet protect and glimmet unprotect.
#include "cli/protect_command.h"

#include "app/protect_run.h"

namespace glimmet::cli {

CommandSpec Protect::spec() {
  return {
      .name = "protect",
      .abstract = "Never kill processes whose command matches this glob.",
      .parameters = {argument("pattern", "A command line glob, like '*next dev*'.", pattern)},
      .run = [this](CommandContext& context) { return runProtect({.pattern = pattern}, context); },
  };
}

CommandSpec Unprotect::spec() {
  return {
      .name = "unprotect",
      .abstract = "Remove a protection rule added with glimmet protect.",
      .parameters = {argument("pattern", "The exact pattern to remove.", pattern)},
      .run =
          [this](CommandContext& context) { return runUnprotect({.pattern = pattern}, context); },
  };
}

}  // namespace glimmet::cli
