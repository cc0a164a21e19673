// The measuring walk: like walkTree (physical, one device, one lstat-class call
// per entry) but always descending, shared out folder by folder between up to
// `walkers` threads. Folders themselves are known from the listing and never
// stat'ed: only the entries that are counted cost a call.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/tree_walk.h"

namespace glimmet::platform {

struct TallyEntry {
  std::string_view name;
  size_t firstComponent;     ///< index into ParallelWalkOutcome::firstComponents
  const FileStatus* status;  ///< null for a folder
};

struct ParallelWalkOutcome {
  bool noAccess = false;                     ///< a folder or entry was refused (EACCES, EPERM)
  bool stopped = false;                      ///< `stop` answered true
  std::vector<std::string> firstComponents;  ///< the root's entries, by index
};

/// Calls `visit` with the worker's number (below `walkers`) for every entry
/// below `root`, from that worker's thread; each worker runs at idle I/O
/// priority and more start only while there are folders waiting. `stop` is
/// asked once per folder. Returns after every worker has finished.
ParallelWalkOutcome walkTreeInParallel(
    const std::filesystem::path& root, size_t walkers,
    const std::function<void(size_t worker, const TallyEntry&)>& visit,
    const std::function<bool()>& stop);

}  // namespace glimmet::platform
