// Sizes for the apps listing: the disk walker's measurement, unknown when the
// path is gone or unreadable.
#include "core/apps/tree_size.h"

#include "core/disk/disk_walker.h"
#include "platform/file_system.h"

namespace glimmet {

std::optional<uint64_t> allocatedBytes(const std::filesystem::path& path) {
  if (!platform::linkStatus(path)) return std::nullopt;
  const auto measurement = measure(path, *CancelFlag::make());
  if (measurement.noAccess && measurement.bytes == 0) return std::nullopt;
  return measurement.bytes;
}

}  // namespace glimmet
