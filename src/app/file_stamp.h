// What says that a file changed without reading it: its modification time,
// size and inode (an atomic replace gives a new inode even within one tick).
#pragma once

#include <cstdint>
#include <optional>

#include "platform/file_system.h"

namespace glimmet {

struct FileStamp {
  std::int64_t seconds = 0;
  long nanoseconds = 0;
  std::uint64_t size = 0;
  std::uint64_t inode = 0;

  bool operator==(const FileStamp&) const = default;

  /// The stamp of `status`; none for a file that isn't there.
  static std::optional<FileStamp> of(const std::optional<platform::FileStatus>& status) {
    if (!status) return std::nullopt;
    return FileStamp{status->modified.tv_sec, status->modified.tv_nsec, status->size,
                     static_cast<std::uint64_t>(status->inode)};
  }
};

}  // namespace glimmet
