// Appending records to a shared log under its lock file. The application drains
// and rewrites these logs under the same lock, so a writer holds the lock for the
// whole append and never across anything slow (no prompt, no signal wait).
#pragma once

#include <chrono>
#include <filesystem>
#include <string_view>

namespace glimmet {

/// Appends `bytes` to `directory/file` while holding an exclusive flock on
/// `directory/lockFile` (created 0600), waiting at most `wait` for it. Creates
/// the folder (0700) when missing. Throws platform::LockTimeout when the lock
/// stayed held, platform::SystemError when the folder, lock or file can't be
/// used (a link or FIFO in a file's place, another user's folder).
void appendUnderLock(const std::filesystem::path& directory, std::string_view file,
                     std::string_view lockFile, std::string_view bytes,
                     std::chrono::milliseconds wait);

}  // namespace glimmet
