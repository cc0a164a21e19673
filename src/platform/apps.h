// Where this system keeps installed applications and the files they leave in the
// user's home: the roots the app listing scans and the leftover folders it searches.
#pragma once

#include <filesystem>
#include <vector>

#include "platform/apps_environment.h"
#include "platform/environment.h"

namespace glimmet::platform {

/// The real roots for this user, with HOME and the XDG variables taken from `env`,
/// and the file-system operations filled in.
AppsEnvironment appsEnvironment(const Environment& env);

/// The folders searched for an app's leftovers, in report order.
std::vector<LeftoverFolder> leftoverFolders(const Environment& env);

}  // namespace glimmet::platform
