// glimmet version.
#include "cli/version_command.h"

#include "core/version.h"

namespace glimmet::cli {

CommandSpec Version::spec() {
  return {
      .name = "version",
      .abstract = "Print the Glimmet version.",
      .run =
          [](CommandContext& context) {
            context.out.line(GlimmetCore::version);
            return ExitStatus::ok;
          },
  };
}

}  // namespace glimmet::cli
