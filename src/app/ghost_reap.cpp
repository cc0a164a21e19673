#include "app/ghost_reap.h"

#include "app/live_tree_killer.h"
#include "app/system_view.h"
#include "core/ghosts/ghost_scanner.h"
#include "logic/survey/process_lists.h"

namespace glimmet {

ReapResult reapGhosts(const CommandInputs& inputs, ProcessEnumerator& enumerator,
                      AncestryRecorder recorder, KillClock& clock, const GhostReapPass& pass,
                      const GhostChoice& choose) {
  const auto snapshot = enumerator.snapshot(std::chrono::system_clock::now());
  const SystemView view(inputs, snapshot);
  GhostScanner scanner(*inputs.signatures, std::move(recorder));
  const auto report =
      ghostReport(snapshot, view.facts(), inputs.rules(), scanner, pass.reportMinimumAge);
  const auto chosen = choose(report.ghosts, snapshot.takenAt());

  LiveTreeKiller live(inputs, clock);
  Reaper reaper(live.killer(), KillLog(inputs.sharedFolder, inputs.warnings),
                KillOptions::make(inputs.settings.gracePeriod));
  const KillLogContext logContext{.trigger = pass.trigger,
                                  .time = snapshot.takenAt(),
                                  .home = inputs.home.string(),
                                  .rule = pass.rule};
  return reaper.reap(chosen, snapshot, pass.dryRun, logContext);
}

}  // namespace glimmet
