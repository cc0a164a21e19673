// Appending records to a shared log under its lock file. The application drains
// and rewrites these logs under the same lock, so a writer holds the lock for the
// whole append and never across anything slow (no prompt, no signal wait).
#pragma once

#include <filesystem>
#include <string_view>

namespace glimmet {

/// Appends `bytes` to `directory/file` while holding an exclusive flock on
/// `directory/lockFile` (created 0600). Creates the folder (0700) when missing.
/// Throws platform::SystemError when the folder, lock or file can't be used.
void appendUnderLock(const std::filesystem::path& directory, std::string_view file,
                     std::string_view lockFile, std::string_view bytes);

}  // namespace glimmet
