// The ~/Library folder names.
#include "platform/library_folder.h"

namespace glimmet {

std::string_view libraryFolderName(LibraryFolder folder) {
  switch (folder) {
    case LibraryFolder::applicationSupport:
      return "Application Support";
    case LibraryFolder::caches:
      return "Caches";
    case LibraryFolder::preferences:
      return "Preferences";
    case LibraryFolder::containers:
      return "Containers";
    case LibraryFolder::groupContainers:
      return "Group Containers";
    case LibraryFolder::savedState:
      return "Saved Application State";
    case LibraryFolder::httpStorages:
      return "HTTPStorages";
    case LibraryFolder::webKit:
      return "WebKit";
    case LibraryFolder::logs:
      return "Logs";
    case LibraryFolder::launchAgents:
      return "LaunchAgents";
    case LibraryFolder::cookies:
      return "Cookies";
  }
  return "Application Support";
}

std::vector<LeftoverFolder> macLibraryFolders(const std::filesystem::path& home) {
  std::vector<LeftoverFolder> folders;
  for (auto kind :
       {LibraryFolder::applicationSupport, LibraryFolder::caches, LibraryFolder::preferences,
        LibraryFolder::containers, LibraryFolder::groupContainers, LibraryFolder::savedState,
        LibraryFolder::httpStorages, LibraryFolder::webKit, LibraryFolder::logs,
        LibraryFolder::launchAgents, LibraryFolder::cookies}) {
    const std::string name(libraryFolderName(kind));
    folders.push_back({.kind = kind,
                       .path = home / "Library" / name,
                       .isShared = kind == LibraryFolder::groupContainers,
                       .displayName = name});
  }
  return folders;
}

}  // namespace glimmet
