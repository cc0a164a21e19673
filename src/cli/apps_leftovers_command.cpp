// glimmet apps leftovers APP.
#include "cli/apps_leftovers_command.h"

#include "app/apps_run.h"

namespace glimmet::cli {

CommandSpec AppsLeftovers::spec() {
  return {
      .name = "leftovers",
      .abstract = "List an app's leftover files in ~/.config, ~/.cache and ~/.local (read only).",
      .parameters =
          {
              argument(
                  "app",
                  "A desktop-file ID (org.vendor.App), a bundle ID, or the path of a .desktop file "
                  "or an app bundle.",
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
