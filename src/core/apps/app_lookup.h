// Finding the app a user named on the command line.
#pragma once

#include <filesystem>
#include <string_view>

#include "core/apps/app_lister.h"

namespace glimmet {

/// The listed app whose bundle identifier (or desktop-file id) is `argument`,
/// ignoring case, or whose path, as listed or with links resolved, is the path
/// `argument` names relative to `workingFolder`. Nothing when none is.
const InstalledApp* findApp(const AppListing& listing, std::string_view argument,
                            const std::filesystem::path& workingFolder);

}  // namespace glimmet
