// glimmet ui.
#include "cli/ui_command.h"

#include "app/ui_run.h"

namespace glimmet::cli {

CommandSpec Ui::spec() {
  return {
      .name = "ui",
      .abstract = "Watch and act on sessions, ghosts, servers and disk items in one view.",
      .discussion =
          "Needs a terminal. k stops the selected process tree and c cleans the marked disk "
          "items, each after you confirm in the view; ? lists every key. NO_COLOR turns "
          "colour off.",
      .run = [](CommandContext& context) { return runUi({}, context); },
  };
}

}  // namespace glimmet::cli
