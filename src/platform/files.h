// File operations with the guarantees the shared folder needs: atomic
// replacement, appends under an exclusive lock, bounded reads, and nothing
// planted in the folder followed or waited on.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/system_error.h"
#include "platform/unique_fd.h"

namespace glimmet::platform {

/// The whole file when it is a readable regular file of at most `maxBytes`;
/// nothing otherwise (missing, unreadable, a folder, too large).
std::optional<std::string> readFile(const std::filesystem::path& path, size_t maxBytes);

/// Like readFile, for a file whose content is trusted as the user's own: it
/// must be a regular file (not a link to one) owned by the effective user and
/// writable by no one else; anything else reads as nothing.
std::optional<std::string> readOwnFile(const std::filesystem::path& path, size_t maxBytes);

/// Creates `path` and its missing parents with `mode`. Throws SystemError.
void createDirectories(const std::filesystem::path& path, mode_t mode);

/// Writes `bytes` to a temporary file beside `path`, flushes it and renames it over
/// `path`, so readers see the old file or the new one, never a mixture. On failure
/// the temporary file is removed and the old file stays intact. Throws SystemError.
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, mode_t mode);

/// Appends `bytes` with one O_APPEND write sequence, creating the file with 0600.
/// Throws SystemError.
void appendToFile(const std::filesystem::path& path, std::string_view bytes);

/// Thrown when another process held a lock for the whole of the wait.
class LockTimeout : public SystemError {
 public:
  explicit LockTimeout(const std::string& what);
};

/// An exclusive advisory lock on a lock file in the shared folder, held until
/// destruction. Opened close-on-exec, so a spawned child never holds it.
class LockedFile {
 public:
  LockedFile(LockedFile&&) = default;
  LockedFile& operator=(LockedFile&&) = default;
  ~LockedFile() = default;  // closing the descriptor releases the flock

 private:
  friend class SharedFolder;
  explicit LockedFile(UniqueFd fd) : fd_(std::move(fd)) {}
  UniqueFd fd_;
};

/// The folder shared with the companion application, held by one descriptor.
/// Every file in it is reached by name relative to that descriptor and opened
/// without following a link and without blocking: a link, FIFO, socket, device
/// or folder planted where a file belongs is refused, never followed or waited
/// on, and so is a file of another user. The folder must be the current
/// user's; group and other permission bits on it (0700) and on its files (0600)
/// are taken away when found. Names are plain file names, never paths.
class SharedFolder {
 public:
  /// The folder at `path` when it exists and is usable; nothing when it is
  /// missing, not a folder, or another user's. Creates nothing.
  static std::optional<SharedFolder> open(const std::filesystem::path& path);
  /// The same, creating the folder (and missing parents) with 0700 first.
  /// Throws SystemError when it can't be made or is refused.
  static SharedFolder create(const std::filesystem::path& path);

  const std::filesystem::path& path() const { return path_; }

  /// The whole file when it is a usable regular file of at most `maxBytes`;
  /// nothing otherwise. Never throws.
  std::optional<std::string> read(std::string_view name, size_t maxBytes) const;
  /// Hands the file's last `maxBytes` bytes to `chunk`, in pieces of at most
  /// 64 KiB, from the start of a line: when the tail begins inside the file, the
  /// bytes up to its first line feed are skipped. Memory stays bounded whatever
  /// the file's size. False when the file is missing or unusable.
  bool readTail(std::string_view name, size_t maxBytes,
                const std::function<void(std::string_view)>& chunk) const;
  /// The size of a usable regular file; nothing when missing or unusable.
  std::optional<uint64_t> size(std::string_view name) const;
  /// Whether anything at all is there under `name`.
  bool contains(std::string_view name) const;

  /// Appends `bytes` in one O_APPEND write sequence, creating the file with
  /// 0600. Throws SystemError, also for a file that can't be used.
  void append(std::string_view name, std::string_view bytes) const;
  /// Writes `bytes` to a new temporary file in the folder (0600), flushes it
  /// and renames it over `name`, so readers see the old file or the new one.
  /// On failure the temporary file is removed and the old file stays. Throws
  /// SystemError.
  void replace(std::string_view name, std::string_view bytes) const;
  /// Renames `from` to `to` within the folder. Throws SystemError.
  void rename(std::string_view from, std::string_view to) const;

  /// An exclusive flock on `name` (created 0600), polled until `wait` has
  /// passed. Throws LockTimeout when it stayed held, SystemError when the lock
  /// file can't be used.
  LockedFile lock(std::string_view name, std::chrono::milliseconds wait) const;

 private:
  SharedFolder(UniqueFd fd, std::filesystem::path path)
      : fd_(std::move(fd)), path_(std::move(path)) {}
  UniqueFd fd_;
  std::filesystem::path path_;
};

/// Whether `fd` is a terminal.
bool isTerminal(int fd);

/// How many columns the terminal on `fd` has; nothing when it isn't one or won't say.
std::optional<size_t> terminalColumns(int fd);

/// Asks that the pipe on `fd` hold `bytes` at once, so a writer with that much to
/// say hands it all over instead of waiting on every read. False when `fd` is not
/// a pipe or the system refuses (a per-user limit); the pipe is then as it was.
bool widenPipe(int fd, size_t bytes);

}  // namespace glimmet::platform
