// Locked appends to shared logs.
#include "core/settings/locked_append.h"

#include "platform/files.h"

namespace glimmet {

void appendUnderLock(const std::filesystem::path& directory, std::string_view file,
                     std::string_view lockFile, std::string_view bytes,
                     std::chrono::milliseconds wait) {
  const auto folder = platform::SharedFolder::create(directory);
  const auto lock = folder.lock(lockFile, wait);
  folder.append(file, bytes);
}

}  // namespace glimmet
