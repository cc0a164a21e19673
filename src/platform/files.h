// File operations with the guarantees the shared folder needs: atomic
// replacement, appends under an exclusive lock, bounded reads.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace glimmet::platform {

/// The whole file when it is a readable regular file of at most `maxBytes`;
/// nothing otherwise (missing, unreadable, a folder, too large).
std::optional<std::string> readFile(const std::filesystem::path& path, size_t maxBytes);

/// Creates `path` and its missing parents with `mode`. Throws SystemError.
void createDirectories(const std::filesystem::path& path, mode_t mode);

/// Writes `bytes` to a temporary file beside `path`, flushes it and renames it over
/// `path`, so readers see the old file or the new one, never a mixture. On failure
/// the temporary file is removed and the old file stays intact. Throws SystemError.
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, mode_t mode);

/// Appends `bytes` with one O_APPEND write sequence, creating the file with 0600.
/// Throws SystemError.
void appendToFile(const std::filesystem::path& path, std::string_view bytes);

/// An exclusive advisory lock on a lock file, held until destruction. The file is
/// created with 0600 and opened close-on-exec, so a spawned child never holds it.
class LockedFile {
 public:
  /// Blocks until the lock is held. Throws SystemError when the file can't be opened.
  static LockedFile acquire(const std::filesystem::path& lockPath);

  LockedFile(LockedFile&&) = default;
  LockedFile& operator=(LockedFile&&) = default;
  ~LockedFile() = default;  // closing the descriptor releases the flock

 private:
  explicit LockedFile(UniqueFd fd) : fd_(std::move(fd)) {}
  UniqueFd fd_;
};

/// Whether `fd` is a terminal.
bool isTerminal(int fd);

/// Asks that the pipe on `fd` hold `bytes` at once, so a writer with that much to
/// say hands it all over instead of waiting on every read. False when `fd` is not
/// a pipe or the system refuses (a per-user limit); the pipe is then as it was.
bool widenPipe(int fd, size_t bytes);

}  // namespace glimmet::platform
