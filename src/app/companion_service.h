// What the companion does at each look: follows the process table, records
// the chain of every process that lives under an agent, hands the live agent
// sessions to its reaper and its alerts, and keeps ancestry.json, the
// heartbeat and companion.json in the shared folder up to date. It never stops for a
// failure: what could not be written stays held and is tried again, and each
// failure is said once on the log.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <ostream>
#include <utility>
#include <vector>

#include "app/companion_alerts.h"
#include "app/companion_inputs.h"
#include "app/companion_quit_prompts.h"
#include "app/companion_reaper.h"
#include "core/companion/companion_state.h"
#include "core/companion/process_watch.h"
#include "core/ghosts/ancestry_recorder.h"
#include "core/ghosts/match_cache.h"
#include "logic/companion/companion_schedule.h"
#include "logic/companion/failure_notes.h"
#include "platform/files.h"

namespace glimmet {

/// The moment of one look, on both clocks: the wall clock for the stamps
/// written, the steady clock for the periods.
struct CompanionMoment {
  SystemTime wall;
  CompanionSchedule::Time steady;
};

class CompanionService {
 public:
  /// `folder` is the locked shared folder; `previous` is companion.json as the
  /// last run left it (its last reap is kept).
  CompanionService(const platform::SharedFolder& folder, CompanionInputs& inputs, pid_t ownPID,
                   const std::optional<CompanionState>& previous, CompanionMoment start,
                   const Environment& environment, std::ostream& log);
  ~CompanionService();

  /// One look at the system, and the writes that are due.
  void look(CompanionMoment now);
  /// Takes the heartbeat away, so that tools know at once nobody is there,
  /// and leaves companion.json for the next run.
  void stop(CompanionMoment now);

  const CompanionState& state() const { return state_; }
  std::size_t processesWatched() const { return watch_.size(); }

 private:
  void observe(CompanionMoment now, const ProcessChanges& changes, bool inputsChanged);
  void alert(CompanionMoment now);
  void askAboutQuitRequests(CompanionMoment now);
  bool write(std::string_view name, const std::string& bytes);
  void writeDue(CompanionMoment now, bool stateChanged);

  const platform::SharedFolder& folder_;
  CompanionInputs& inputs_;
  std::ostream& log_;
  FailureNotes notes_;
  CompanionSchedule schedule_;
  CompanionState state_;
  ProcessWatch watch_;
  AncestryRecorder recorder_;
  std::optional<MatchCache> cache_;
  std::size_t addedSinceCache_ = 0;
  CompanionSchedule::Pending pending_ = CompanionSchedule::Pending::nothing;
  std::vector<std::pair<ProcessIdentity, pid_t>> agents_;
  std::vector<ProcessIdentity> sessions_;
  CompanionReaper reaper_;
  CompanionAlerts alerts_;
  CompanionQuitPrompts quitPrompts_;
  bool looked_ = false;
};

}  // namespace glimmet
