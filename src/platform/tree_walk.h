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

#include "platform/file_system.h"

namespace glimmet::platform {

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
