// The apps use cases: list through the lister, match through the finder, print
// the documents.
#include "app/apps_run.h"

#include "core/apps/app_leftover_finder.h"
#include "core/apps/app_lister.h"
#include "core/apps/app_lookup.h"
#include "logic/apps/app_leftovers_document.h"
#include "logic/apps/apps_list_document.h"
#include "platform/apps.h"
#include "platform/file_system.h"

namespace glimmet {

ExitStatus runAppsList(const AppsListRequest& request, RunContext& context) {
  return runAppsList(request, context, platform::appsEnvironment(context.environment));
}

ExitStatus runAppsList(const AppsListRequest& request, RunContext& context,
                       const AppsEnvironment& environment) {
  const AppLister lister(environment);
  const auto listing = lister.list();
  const AppLeftoverFinder finder(environment, listing);
  AppsListDocument document;
  for (const auto& app : listing.apps)
    document.apps.push_back(AppEntry::from(app, finder.count(app)));
  return printDocument(context.out, document, outputFormat(request.json));
}

ExitStatus runAppsLeftovers(const AppsLeftoversRequest& request, RunContext& context) {
  return runAppsLeftovers(request, context, platform::appsEnvironment(context.environment),
                          platform::currentFolder());
}

ExitStatus runAppsLeftovers(const AppsLeftoversRequest& request, RunContext& context,
                            const AppsEnvironment& environment,
                            const std::filesystem::path& workingFolder) {
  const AppLister lister(environment);
  // Only the named app is measured; the others are needed for their claims.
  const auto listing = lister.list(AppLister::Sizes::skip);
  const auto* found = findApp(listing, request.app, workingFolder);
  if (found == nullptr) {
    const AppNotFoundDocument missing{"No installed app matches " + request.app + "."};
    if (!request.json) throw CommandFailure(missing.message, missing.status(OutputFormat::text));
    return printDocument(context.out, missing, OutputFormat::json);
  }
  InstalledApp measured = *found;
  lister.measure(measured);
  const AppLeftoverFinder finder(environment, listing);
  return printDocument(context.out,
                       AppLeftoversDocument::from(finder.report(measured), environment.home),
                       outputFormat(request.json));
}

}  // namespace glimmet
