// glimmet protect and glimmet unprotect.
#include "cli/protect_command.h"

#include "core/ghosts/protection_store.h"
#include "platform/paths.h"

namespace glimmet::cli {

CommandSpec Protect::spec() {
  return {
      .name = "protect",
      .abstract = "Never kill processes whose command matches this glob.",
      .parameters = {argument("pattern", "A command line glob, like '*next dev*'.", pattern)},
      .run =
          [this](CommandContext& context) {
            const JSONStore store(platform::sharedDataDir(context.environment));
            if (!addProtectedGlob(store, pattern)) {
              context.out.line("Already protected: " + pattern);
              return ExitStatus::ok;
            }
            context.out.line("Protected: " + pattern);
            return ExitStatus::ok;
          },
  };
}

CommandSpec Unprotect::spec() {
  return {
      .name = "unprotect",
      .abstract = "Remove a protection rule added with glimmet protect.",
      .parameters = {argument("pattern", "The exact pattern to remove.", pattern)},
      .run =
          [this](CommandContext& context) {
            const JSONStore store(platform::sharedDataDir(context.environment));
            if (!removeProtectedGlob(store, pattern)) {
              context.out.line("No rule matches " + pattern);
              return ExitStatus::nothingFound;
            }
            context.out.line("Removed: " + pattern);
            return ExitStatus::ok;
          },
  };
}

}  // namespace glimmet::cli
