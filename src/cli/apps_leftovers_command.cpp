// glimmet apps leftovers APP.
#include "cli/apps_leftovers_command.h"

#include "app/apps_run.h"

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
      .run =
          [this](CommandContext& context) {
            return runAppsLeftovers({.app = app, .json = json}, context);
          },
  };
}

}  // namespace glimmet::cli
