// glimmet apps: the group of apps list and apps leftovers.
#include "cli/apps_command.h"

namespace glimmet::cli {

CommandSpec Apps::spec() {
  return {
      .name = "apps",
      .abstract = "List installed apps with their size and leftovers (read only).",
      .discussion =
          "Lists the desktop's apps (Flatpak and Snap too) and app bundles in /Applications and "
          "~/Applications. Nothing is removed: uninstall an app with the tool that installed it, "
          "such as apt, flatpak or snap.",
      .subcommands = {list.spec(), leftovers.spec()},
      .defaultSubcommand = "list",
  };
}

}  // namespace glimmet::cli
