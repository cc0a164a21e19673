// glimmet apps and apps leftovers.
#include "cli/apps_command.h"

namespace glimmet::cli {

CommandSpec AppsLeftovers::spec() {
  return {
      .name = "leftovers",
      .abstract = "List an app's leftover files in ~/Library (read only).",
      .parameters =
          {
              argument("app",
                       "A bundle ID (com.vendor.app) or the path of an app in /Applications or "
                       "~/Applications.",
                       app),
              flag("--json", kJsonHelp, json),
          },
      .run = notBuiltYet,
  };
}

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
