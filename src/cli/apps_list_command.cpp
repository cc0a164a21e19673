// glimmet apps list.
#include "cli/apps_list_command.h"

namespace glimmet::cli {

CommandSpec AppsList::spec() {
  return {
      .name = "list",
      .abstract = "List apps with size and leftovers count.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run = notBuiltYet,
  };
}

}  // namespace glimmet::cli
