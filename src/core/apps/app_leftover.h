// One leftover an app keeps in the user's folders, how sure the match is, and an
// app's whole report: the records the apps documents are built from.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/apps/installed_app.h"
#include "platform/library_folder.h"

namespace glimmet {

enum class LeftoverConfidence {
  exact,   ///< named by the bundle identifier, alone or with a file extension
  likely,  ///< named after the app rather than by its identifier
  orphan,  ///< belongs to no installed app (the application's orphan finder)
};

/// "exact", "likely", "orphan".
std::string_view rawValue(LeftoverConfidence confidence);

struct AppLeftover {
  std::filesystem::path path;
  LibraryFolder folder = LibraryFolder::applicationSupport;
  std::string folderName;  ///< the searched folder's display name
  LeftoverConfidence confidence = LeftoverConfidence::exact;
  std::string bundleID;  ///< the identifier it was matched under
  FileIdentity identity;
  std::optional<uint64_t> bytes;
  std::optional<SystemTime> modified;
};

struct AppLeftoverReport {
  InstalledApp app;
  std::vector<AppLeftover> leftovers;
  std::vector<std::string> notRemoved;  ///< what the uninstaller leaves alone, and why
  std::vector<std::filesystem::path> searchedFolders;
};

}  // namespace glimmet
