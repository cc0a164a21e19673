// A physical walk of a file tree: symbolic links are never followed, the walk
// never leaves the root's device, and each entry costs one lstat-class call.
// Safe to run on several threads at once: all state lives in the call.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace glimmet::platform {

struct FileStatus {
  enum class Kind { directory, file, symlink, other };
  Kind kind = Kind::other;
  dev_t device = 0;
  ino_t inode = 0;
  nlink_t links = 0;
  uint64_t blocks512 = 0;  ///< allocated 512-byte blocks (never negative)
  timespec modified{};
  uid_t owner = 0;
  mode_t mode = 0;
};

/// The status of `path` itself (a link is a link). Nothing with `error` set to
/// errno when it can't be read.
std::optional<FileStatus> lstatPath(const std::filesystem::path& path, int& error);

struct WalkEntry {
  std::string_view parent;          ///< the folder holding the entry, as a path
  std::string_view name;            ///< last component
  std::string_view firstComponent;  ///< first component below the walk's root
  const FileStatus& status;
  int depth;  ///< 1 for the root's direct children

  bool isDirectory() const { return status.kind == FileStatus::Kind::directory; }
  /// Built only on demand: most entries never need a full path.
  std::string path() const;
};

enum class WalkAnswer { descend, skip, stop };

struct WalkOutcome {
  bool noAccess = false;  ///< a folder or entry was refused (EACCES, EPERM)
  bool stopped = false;   ///< the visitor answered stop
};

/// Visits every entry below `root` in pre-order. A directory is entered when the
/// visitor answers descend, it is on the root's device, and it opens as a real
/// directory (a folder swapped for a link meanwhile is not followed). Entries that
/// vanish during the walk are skipped. Folders deeper than `maxDepth` are not entered.
WalkOutcome walkTree(const std::filesystem::path& root,
                     const std::function<WalkAnswer(const WalkEntry&)>& visitor,
                     int maxDepth = 128);

}  // namespace glimmet::platform
