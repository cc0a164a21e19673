// Everything the app listing and the leftover finder take from the system, as
// values: which folders to scan, who the user is, and how to resolve links. A
// platform value, since platform::appsEnvironment() fills it for the real
// command; tests point every root into a fixture tree.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/library_folder.h"

namespace glimmet {

/// A folder of desktop entries and what installed the apps it lists.
struct DesktopEntryRoot {
  enum class Source { plain, flatpak, snap };
  std::filesystem::path path;  ///< an "applications" folder
  Source source = Source::plain;
  /// For Flatpak: the installation (…/flatpak) whose app/<id>/current/active holds the app.
  std::filesystem::path installation;
};

struct AppsEnvironment {
  /// Folders of application bundles, in listing order (/Applications, ~/Applications).
  std::vector<std::filesystem::path> roots;
  /// Folders of desktop entries in precedence order: for one desktop-file id the
  /// first folder wins.
  std::vector<DesktopEntryRoot> desktopEntryRoots;
  std::filesystem::path home;
  /// A bundle whose resolved path is one of these or lies below one is the system's.
  std::vector<std::filesystem::path> systemAppRoots = {"/System"};
  /// The running application's own bundle, if any.
  std::optional<std::filesystem::path> selfBundlePath;
  uid_t userID = 0;
  /// The companion application's identifier, and the prefix its maker's apps share.
  std::string ownBundleID = "app.glimmet.Glimmet";
  std::string makerIDPrefix = "app.glimmet.";

  /// Where leftovers are searched, in report order.
  std::vector<LeftoverFolder> leftoverFolders;

  /// Where distribution packages are recorded, for the size and version of apps
  /// that a package installed. Missing folders simply leave those unknown.
  std::filesystem::path dpkgInfoDir = "/var/lib/dpkg/info";
  std::filesystem::path dpkgStatusFile = "/var/lib/dpkg/status";
  std::filesystem::path snapMountDir = "/snap";
  std::filesystem::path snapFilesDir = "/var/lib/snapd/snaps";
  std::filesystem::path optDir = "/opt";
  /// The shared program folders a bare Exec= name is looked up in. A program
  /// there belongs to whichever package installed it, not to the entry that runs
  /// it ("Exec=git gui" runs git).
  std::vector<std::filesystem::path> programDirs = {
      "/usr/local/sbin", "/usr/local/bin", "/usr/sbin", "/usr/bin", "/sbin", "/bin"};

  /// The path with every symbolic link resolved; nothing when it can't be.
  std::function<std::optional<std::filesystem::path>(const std::filesystem::path&)> resolve;
  /// Whether the user may change `path` (so moving it to the Trash needs no
  /// administrator).
  std::function<bool(const std::filesystem::path&)> isWritable;
};

}  // namespace glimmet
