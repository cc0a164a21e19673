// Locked appends to shared logs.
#include "core/settings/locked_append.h"

#include "platform/files.h"

namespace glimmet {

void appendUnderLock(const std::filesystem::path& directory, std::string_view file,
                     std::string_view lockFile, std::string_view bytes) {
  platform::createDirectories(directory, 0700);
  const auto lock = platform::LockedFile::acquire(directory / lockFile);
  platform::appendToFile(directory / file, bytes);
}

}  // namespace glimmet
