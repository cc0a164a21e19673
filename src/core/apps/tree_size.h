// The allocated size of an app's files or of one leftover, through the disk walker.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace glimmet {

/// Bytes allocated to the non-folder entries at or below `path`, measured by the
/// disk walker (links not followed, hard links once, one device). Nothing when
/// `path` itself can't be looked at, so a size is never shown as zero by mistake.
std::optional<uint64_t> allocatedBytes(const std::filesystem::path& path);

}  // namespace glimmet
