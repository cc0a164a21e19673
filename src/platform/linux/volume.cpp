// statvfs: f_bavail excludes the blocks reserved for root, which the user can't use.
#include "platform/volume.h"

#include <sys/statvfs.h>

namespace glimmet::platform {

std::optional<uint64_t> availableBytes(const std::filesystem::path& path) {
  struct statvfs info {};
  if (::statvfs(path.c_str(), &info) != 0) return std::nullopt;
  return static_cast<uint64_t>(info.f_bavail) * static_cast<uint64_t>(info.f_frsize);
}

}  // namespace glimmet::platform
