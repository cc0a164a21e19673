// Stopping selected ghosts one tree at a time, each stop logged.
#pragma once

#include <vector>

#include "core/ghosts/ghost.h"
#include "core/kill/kill_log.h"
#include "core/kill/kill_report_entry.h"
#include "core/kill/tree_killer.h"

namespace glimmet {

struct ReapResult {
  bool dryRun = false;
  std::vector<Ghost> ghosts;        ///< the selected ghosts, in report order
  std::vector<KillReport> reports;  ///< one per ghost; empty in a dry run
};

class Reaper {
 public:
  Reaper(TreeKiller& killer, KillLog log, KillOptions options)
      : killer_(killer), log_(std::move(log)), options_(options) {}

  /// Stops (or, dry, only logs) each ghost. `logContext` gives the trigger, home
  /// and rule; each entry gets the ghost's origin, repository and the time it ended.
  ReapResult reap(const std::vector<Ghost>& ghosts, const ProcessSnapshot& snapshot, bool dryRun,
                  const KillLogContext& logContext);

 private:
  TreeKiller& killer_;
  KillLog log_;
  KillOptions options_;
};

}  // namespace glimmet
