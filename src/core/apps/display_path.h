// Paths as people read them: the home folder written as "~".
#pragma once

#include <filesystem>
#include <string>

namespace glimmet {

/// "~/.config/Code" for a path inside `home`, `home` itself as "~", other paths as they are.
std::string displayPath(const std::filesystem::path& path, const std::filesystem::path& home);

}  // namespace glimmet
