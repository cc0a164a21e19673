// glimmet apps list.
#include "cli/apps_list_command.h"

#include "app/apps_run.h"

namespace glimmet::cli {

CommandSpec AppsList::spec() {
  return {
      .name = "list",
      .abstract = "List apps with size and leftovers count.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run = [this](CommandContext& context) { return runAppsList({.json = json}, context); },
  };
}

}  // namespace glimmet::cli
