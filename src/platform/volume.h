// Capacity of the volume that holds a path.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace glimmet::platform {

/// Bytes an unprivileged user can still write on the volume of `path`.
std::optional<uint64_t> availableBytes(const std::filesystem::path& path);

}  // namespace glimmet::platform
