// Linux has no application bundles in /Applications as a rule, but they are read
// wherever they exist; the desktop's own applications are its desktop entries
// (the XDG data folders, Flatpak exports and Snap's folder), and their files live
// in the XDG base folders, ~/.var/app and ~/snap.
#include "platform/apps.h"

#include <unistd.h>

#include <algorithm>
#include <string>

#include "platform/file_system.h"
#include "platform/paths.h"

namespace glimmet::platform {
namespace fs = std::filesystem;
namespace {

fs::path xdgFolder(const Environment& env, std::string_view variable, const fs::path& fallback) {
  if (auto value = env.absolutePath(variable)) return *value;
  return fallback;
}

std::vector<fs::path> dataDirs(const Environment& env) {
  std::string value = env.get("XDG_DATA_DIRS").value_or("");
  if (value.empty()) value = "/usr/local/share:/usr/share";
  std::vector<fs::path> dirs;
  size_t at = 0;
  while (at <= value.size()) {
    auto end = value.find(':', at);
    if (end == std::string::npos) end = value.size();
    fs::path dir(value.substr(at, end - at));
    // Relative entries are invalid by the XDG rules and ignored.
    if (dir.is_absolute()) dirs.push_back(dir);
    at = end + 1;
  }
  return dirs;
}

// Links resolved by realpath, and "the user may change it" as access(W_OK).
AppsEnvironment withSystemOperations(AppsEnvironment environment) {
  environment.resolve = [](const fs::path& path) { return resolvedPath(path); };
  environment.isWritable = [](const fs::path& path) { return isWritable(path); };
  return environment;
}

}  // namespace

std::vector<LeftoverFolder> leftoverFolders(const Environment& env) {
  const auto home = homeDir(env);
  const auto config = xdgFolder(env, "XDG_CONFIG_HOME", home / ".config");
  return {
      {LibraryFolder::applicationSupport, xdgFolder(env, "XDG_DATA_HOME", home / ".local/share"),
       false, ".local/share"},
      {LibraryFolder::caches, xdgFolder(env, "XDG_CACHE_HOME", home / ".cache"), false, ".cache"},
      {LibraryFolder::preferences, config, false, ".config"},
      {LibraryFolder::savedState, xdgFolder(env, "XDG_STATE_HOME", home / ".local/state"), false,
       ".local/state"},
      {LibraryFolder::containers, home / ".var/app", false, ".var/app"},
      {LibraryFolder::containers, home / "snap", false, "snap"},
      {LibraryFolder::launchAgents, config / "autostart", false, ".config/autostart"},
      {LibraryFolder::launchAgents, config / "systemd/user", false, ".config/systemd/user"},
  };
}

AppsEnvironment appsEnvironment(const Environment& env) {
  AppsEnvironment apps;
  apps.home = homeDir(env);
  apps.userID = ::getuid();
  apps.roots = {"/Applications", apps.home / "Applications"};

  const auto dataHome = xdgFolder(env, "XDG_DATA_HOME", apps.home / ".local/share");
  const std::vector<DesktopEntryRoot> packaged = {
      {"/var/lib/flatpak/exports/share/applications", DesktopEntryRoot::Source::flatpak,
       "/var/lib/flatpak"},
      {dataHome / "flatpak/exports/share/applications", DesktopEntryRoot::Source::flatpak,
       dataHome / "flatpak"},
      {"/var/lib/snapd/desktop/applications", DesktopEntryRoot::Source::snap, {}},
  };
  auto add = [&](const fs::path& folder) {
    const auto normal = folder.lexically_normal();
    for (const auto& root : apps.desktopEntryRoots)
      if (root.path == normal) return;
    // A session that lists Flatpak's or Snap's exports among its data folders still
    // gets them measured as what they are.
    for (const auto& known : packaged)
      if (known.path.lexically_normal() == normal) {
        apps.desktopEntryRoots.push_back(known);
        return;
      }
    apps.desktopEntryRoots.push_back({normal, DesktopEntryRoot::Source::plain, {}});
  };
  add(dataHome / "applications");
  for (const auto& dir : dataDirs(env)) add(dir / "applications");
  for (const auto& known : packaged) add(known.path);

  apps.leftoverFolders = leftoverFolders(env);
  return withSystemOperations(std::move(apps));
}

}  // namespace glimmet::platform
