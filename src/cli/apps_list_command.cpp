// glimmet apps list.
#include "cli/apps_list_command.h"

#include "core/apps/app_leftover_finder.h"
#include "core/apps/app_lister.h"
#include "core/apps/apps_documents.h"
#include "platform/apps.h"

namespace glimmet::cli {

CommandSpec AppsList::spec() {
  return {
      .name = "list",
      .abstract = "List apps with size and leftovers count.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run =
          [this](CommandContext& context) {
            const auto environment = platform::appsEnvironment(context.environment);
            const AppLister lister(environment);
            const auto listing = lister.list();
            const AppLeftoverFinder finder(environment, listing);
            std::vector<CLIOutput::AppEntry> entries;
            for (const auto& app : listing.apps)
              entries.push_back(CLIOutput::appEntry(app, finder.count(app)));
            if (json) {
              context.out.document(CLIOutput::appsListDocument(entries));
              return ExitStatus::ok;
            }
            for (const auto& line : CLIOutput::appsListLines(entries)) context.out.line(line);
            return ExitStatus::ok;
          },
  };
}

}  // namespace glimmet::cli
