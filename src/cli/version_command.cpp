// glimmet version.
#include "cli/version_command.h"

#include "app/version_run.h"

namespace glimmet::cli {

CommandSpec Version::spec() {
  return {
      .name = "version",
      .abstract = "Print the Glimmet version.",
      .run = [](CommandContext& context) { return runVersion(context); },
  };
}

}  // namespace glimmet::cli
