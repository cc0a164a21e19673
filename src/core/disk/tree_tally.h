// One measured tree, tallied by many walkers at once: each walker counts into
// its own share, and the shares are merged once the walk has ended. Hard links
// are counted once; those that lead outside the tree stay in `multiLinks`.
#pragma once

#include <atomic>
#include <cstddef>
#include <limits>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "core/disk/measurement.h"
#include "platform/file_system.h"
#include "platform/parallel_tree_walk.h"

namespace glimmet {

class TreeTally {
 public:
  explicit TreeTally(size_t walkers) : shares_(std::max<size_t>(walkers, 1)) {}

  /// The tree's root folder, listed: its entries are the first components
  /// that children sizes are kept by. Called once, before anything below it.
  void nameChildren(std::span<const platform::ListedEntry> entries);
  /// A non-folder entry below the root child at `child` (its listing position).
  void count(size_t worker, size_t child, const platform::FileStatus& status);
  void sawGit(size_t worker) { shares_[worker].containsGit = true; }
  void refuse() { noAccess_.store(true, std::memory_order_relaxed); }

  /// The measurement, once every walker is done.
  Measurement finish(bool cancelled) const;

 private:
  static constexpr time_t kNoTime = std::numeric_limits<time_t>::min();
  // Each on cache lines of its own: two walkers counting into one tree would
  // otherwise contend for the line that holds both their totals.
  struct alignas(64) Share {
    uint64_t bytes = 0;
    uint64_t files = 0;
    timespec newest{kNoTime, 0};
    bool containsGit = false;
    struct Child {
      uint64_t bytes = 0;
      uint64_t files = 0;
    };
    std::vector<Child> children;                                 ///< by first component
    std::map<FileIdentity, std::pair<MultiLink, size_t>> links;  ///< with the child credited
  };
  /// One more file of `bytes` under the root child at `child`.
  static void credit(Share& share, size_t child, uint64_t bytes);

  std::vector<Share> shares_;
  std::vector<std::string> children_;
  std::atomic<bool> noAccess_{false};
};

/// A single entry measured alone, from its own status.
Measurement measureEntry(const platform::FileStatus& status, bool isGit);

}  // namespace glimmet
