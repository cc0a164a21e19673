// apps list and apps leftovers: the installed apps, and one app's leftover files.
// Both only read; nothing is removed.
#pragma once

#include <filesystem>
#include <string>

#include "app/run_context.h"
#include "core/error.h"
#include "platform/apps_environment.h"

namespace glimmet {

struct AppsListRequest {
  bool json = false;
};

struct AppsLeftoversRequest {
  std::string app;  ///< a bundle ID or desktop-file id, or an app's path
  bool json = false;
};

/// Lists every app of this user's roots, each measured, with its leftover count.
ExitStatus runAppsList(const AppsListRequest& request, RunContext& context);
/// The same over `environment`'s roots and folders.
ExitStatus runAppsList(const AppsListRequest& request, RunContext& context,
                       const AppsEnvironment& environment);

/// The named app's leftovers. A name that matches no app fails with status 1:
/// in text as a message, in JSON as a document without an app.
ExitStatus runAppsLeftovers(const AppsLeftoversRequest& request, RunContext& context);
/// The same over `environment`, with a relative path taken from `workingFolder`.
ExitStatus runAppsLeftovers(const AppsLeftoversRequest& request, RunContext& context,
                            const AppsEnvironment& environment,
                            const std::filesystem::path& workingFolder);

}  // namespace glimmet
