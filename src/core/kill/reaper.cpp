#include "core/kill/reaper.h"

#include "platform/system_error.h"

namespace glimmet {

void Reaper::record(const KillLogEntry& entry) const {
  try {
    log_.append({entry});
  } catch (const platform::SystemError&) {
    // What was stopped is stopped; an unwritable log must not stop the rest.
  }
}

ReapResult Reaper::reap(const std::vector<Ghost>& ghosts, const ProcessSnapshot& snapshot,
                        bool dryRun, const KillLogContext& logContext) {
  ReapResult result{.dryRun = dryRun, .ghosts = ghosts, .reports = {}};
  for (const auto& ghost : ghosts) {
    KillLogContext context = logContext;
    context.origin = ghost.origin.fullLabel();
    context.repoPath = ghost.repo;
    if (dryRun) {
      context.time = std::chrono::system_clock::now();
      record(dryRunLogEntry(ghost.root, ghost.footprint, context));
      continue;
    }
    auto report = killer_.kill(ghost.root.identity, snapshot, ghost.ports, ghost.repo, options_);
    context.time = std::chrono::system_clock::now();
    record(killLogEntry(report, ghost.root, context));
    result.reports.push_back(std::move(report));
  }
  return result;
}

}  // namespace glimmet
