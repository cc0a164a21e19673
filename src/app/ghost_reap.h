// One reap over the system as it is now: a fresh snapshot, its ghost report,
// the ghosts the caller picks, each tree stopped through the live tree killer
// (or, dry, only logged) and logged. glimmet reap and the companion's triggers
// go through it, so that they judge, stop and log alike.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/command_inputs.h"
#include "core/ghosts/ancestry_recorder.h"
#include "core/kill/kill_clock.h"
#include "core/kill/kill_log.h"
#include "core/kill/reaper.h"
#include "core/process/process_enumerator.h"

namespace glimmet {

/// How one reap judges and logs.
struct GhostReapPass {
  /// Replaces the settings' ghostMinimumAge in the report: a session's
  /// leftovers are ghosts however young.
  std::optional<double> reportMinimumAge;
  bool dryRun = false;
  KillLogEntry::Trigger trigger = KillLogEntry::Trigger::cli;
  std::optional<std::string> rule;  ///< the rule's text, for automatic triggers
};

/// The ghosts to stop among the report's, in report order; `now` is the
/// snapshot's time.
using GhostChoice = std::function<std::vector<Ghost>(const std::vector<Ghost>& ghosts,
                                                     std::chrono::system_clock::time_point now)>;

/// Needs `inputs.signatures`. `recorder` holds the recorded ancestry.
ReapResult reapGhosts(const CommandInputs& inputs, ProcessEnumerator& enumerator,
                      AncestryRecorder recorder, KillClock& clock, const GhostReapPass& pass,
                      const GhostChoice& choose);

}  // namespace glimmet
