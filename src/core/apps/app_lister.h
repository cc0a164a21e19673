// The installed applications: bundles in the bundle roots and, where the desktop
// has no bundles, the applications its desktop entries describe.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/apps/installed_app.h"
#include "core/apps/package_index.h"
#include "platform/apps_environment.h"

namespace glimmet {

struct AppListing {
  std::vector<InstalledApp> apps;  ///< by name, ignoring case, then by path
  /// App-group identifier to the paths of the apps that claim it.
  std::map<std::string, std::vector<std::filesystem::path>> groupClaims;
  std::vector<std::filesystem::path> scannedRoots;  ///< the roots that exist
};

class AppLister {
 public:
  explicit AppLister(const AppsEnvironment& environment)
      : environment_(environment), packages_(environment.dpkgInfoDir, environment.dpkgStatusFile) {}

  enum class Sizes { measure, skip };
  /// Every app of every root. With Sizes::skip, `bytes` stays unknown until
  /// measure() is called for the apps that need it.
  AppListing list(Sizes sizes = Sizes::measure) const;

  /// Fills in `app.bytes` from its size source.
  void measure(InstalledApp& app) const;

 private:
  std::optional<InstalledApp> bundle(
      const std::filesystem::path& entry,
      const std::optional<std::filesystem::path>& resolvedRoot) const;
  void addDesktopEntries(const DesktopEntryRoot& root, std::vector<InstalledApp>& apps,
                         std::set<std::string>& seenIDs) const;
  std::optional<InstalledApp> desktopApp(const DesktopEntryRoot& root,
                                         const std::filesystem::path& file,
                                         const std::string& id) const;
  std::optional<AppExclusion> exclusionByIdentity(const InstalledApp& app) const;
  bool programIsTheApps(const std::string& program, const InstalledApp& app) const;

  const AppsEnvironment& environment_;
  // Read lazily: only desktop entries outside the home folder ask it anything.
  mutable PackageIndex packages_;
};

}  // namespace glimmet
