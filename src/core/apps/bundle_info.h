// Reading an application bundle's Contents/Info.plist.
#pragma once

#include <filesystem>
#include <optional>

#include "core/apps/installed_app.h"

namespace glimmet {

/// The bundle's Info.plist keys, XML or binary; nothing when the file is missing,
/// too large or not a property list.
std::optional<BundleInfo> readBundleInfo(const std::filesystem::path& appBundle);

}  // namespace glimmet
