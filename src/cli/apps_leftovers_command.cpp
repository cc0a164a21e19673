// glimmet apps leftovers APP.
#include "cli/apps_leftovers_command.h"

#include <system_error>

#include "core/apps/app_leftover_finder.h"
#include "core/apps/app_lister.h"
#include "core/apps/app_lookup.h"
#include "core/apps/apps_documents.h"
#include "platform/apps.h"

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
            const auto environment = platform::appsEnvironment(context.environment);
            const AppLister lister(environment);
            // Only the named app is measured; the others are needed for their claims.
            const auto listing = lister.list(AppLister::Sizes::skip);
            std::error_code error;
            const auto workingFolder = std::filesystem::current_path(error);
            const auto* found = findApp(listing, app, workingFolder);
            if (found == nullptr) {
              const auto message = "No app in /Applications or ~/Applications matches " + app + ".";
              if (!json) throw CommandFailure(message, ExitStatus::nothingFound);
              context.out.document(CLIOutput::appNotFoundDocument(message));
              return ExitStatus::nothingFound;
            }
            InstalledApp measured = *found;
            lister.measure(measured);
            const AppLeftoverFinder finder(environment, listing);
            const auto report = finder.report(measured);
            if (json) {
              context.out.document(
                  CLIOutput::appLeftoversDocument(CLIOutput::appLeftovers(report)));
              return ExitStatus::ok;
            }
            for (const auto& line : CLIOutput::appLeftoversLines(report, environment.home))
              context.out.line(line);
            return ExitStatus::ok;
          },
  };
}

}  // namespace glimmet::cli
