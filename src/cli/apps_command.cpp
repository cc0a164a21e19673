// glimmet apps: the group of apps list and apps leftovers.
#include "cli/apps_command.h"

namespace glimmet::cli {

CommandSpec Apps::spec() {
  return {
      .name = "apps",
      .abstract = "List installed apps with their size and leftovers (read only).",
      .discussion =
          "Lists apps in /Applications and ~/Applications. Nothing is removed: uninstall from the "
          "Glimmet "
          "window.",
      .subcommands = {list.spec(), leftovers.spec()},
      .defaultSubcommand = "list",
  };
}

}  // namespace glimmet::cli
