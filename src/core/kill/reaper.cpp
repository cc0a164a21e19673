#include "core/kill/reaper.h"

namespace glimmet {

ReapResult Reaper::reap(const std::vector<Ghost>& ghosts, const ProcessSnapshot& snapshot,
                        bool dryRun, const KillLogContext& logContext) {
  ReapResult result{.dryRun = dryRun, .ghosts = ghosts, .reports = {}};
  for (const auto& ghost : ghosts) {
    KillLogContext context = logContext;
    context.origin = ghost.origin.fullLabel();
    context.repoPath = ghost.repo;
    context.worktree = ghost.worktree;
    context.branch = ghost.branch;
    if (dryRun) {
      context.time = std::chrono::system_clock::now();
      log_.appendIfPossible({dryRunLogEntry(ghost.root, ghost.footprint, context)});
      continue;
    }
    auto report = killer_.kill(ghost.root.identity, snapshot, ghost.ports, ghost.repo, options_);
    context.time = std::chrono::system_clock::now();
    log_.appendIfPossible({killLogEntry(report, ghost.root, context)});
    result.reports.push_back(std::move(report));
  }
  return result;
}

}  // namespace glimmet
