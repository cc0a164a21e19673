// Comparisons the app listing and the leftover finder share: names without regard
// to letter case, and whether one path lies in a folder.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace glimmet {

/// ASCII letters lowered; identifiers and file names compare in this form.
std::string lowercase(std::string_view text);

/// `path` is `folder` or lies below it, compared lexically. The root folder
/// contains nothing here, so an empty or "/" setting never claims every path.
bool isSameOrInside(const std::filesystem::path& path, const std::filesystem::path& folder);

}  // namespace glimmet
