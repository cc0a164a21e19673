// The folders where apps keep files of their own: on macOS the folders of
// ~/Library, on Linux their XDG counterparts.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace glimmet {

enum class LibraryFolder {
  applicationSupport,
  caches,
  preferences,
  containers,
  groupContainers,
  savedState,
  httpStorages,
  webKit,
  logs,
  launchAgents,
  cookies,
};

/// The folder's name below ~/Library ("Application Support", "Saved Application State").
std::string_view libraryFolderName(LibraryFolder folder);

/// One folder searched for leftovers. Several folders may share one case (Linux
/// keeps Flatpak and Snap containers apart).
struct LeftoverFolder {
  LibraryFolder kind = LibraryFolder::applicationSupport;
  std::filesystem::path path;
  /// Shared between the apps of one developer (group containers): an entry claimed
  /// by several installed apps is left alone.
  bool isShared = false;
  /// How documents name the folder: "Caches" on macOS, ".cache" on Linux.
  std::string displayName;
};

/// The ~/Library table, for bundles on a Mac and for tests of that layout.
std::vector<LeftoverFolder> macLibraryFolders(const std::filesystem::path& home);

}  // namespace glimmet
