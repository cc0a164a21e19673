// Identifier first, since an identifier never contains a slash; then the path.
#include "core/apps/app_lookup.h"

#include <strings.h>

#include "platform/file_system.h"

namespace glimmet {
namespace fs = std::filesystem;
namespace {

fs::path normalized(fs::path path) {
  path = path.lexically_normal();
  // "X.app/" names the same bundle as "X.app".
  if (!path.has_filename() && path.has_parent_path()) path = path.parent_path();
  return path;
}

}  // namespace

const InstalledApp* findApp(const AppListing& listing, std::string_view argument,
                            const fs::path& workingFolder) {
  if (argument.empty()) return nullptr;
  const std::string text(argument);
  for (const auto& app : listing.apps)
    if (app.bundleID && ::strcasecmp(app.bundleID->c_str(), text.c_str()) == 0) return &app;

  fs::path named(text);
  if (named.is_relative()) named = workingFolder / named;
  named = normalized(named);
  const auto resolved = platform::resolvedPath(named);
  for (const auto& app : listing.apps) {
    if (normalized(app.path) == named || normalized(app.resolvedPath) == named) return &app;
    if (resolved && normalized(app.resolvedPath) == *resolved &&
        app.path.filename() == named.filename())
      return &app;
  }
  return nullptr;
}

}  // namespace glimmet
