// When the companion's reaper runs on its own: once after login, on the
// schedule, and after each agent session it saw end, under the reaper rules as
// they stand at each observation. Pure: the caller hands in the time and the
// live sessions once per observation.
#pragma once

#include <chrono>
#include <optional>
#include <vector>

#include "core/process/process_identity.h"
#include "core/settings/glimmet_settings.h"
#include "logic/reaper/reap_selection.h"

namespace glimmet {

/// One reap that is due now.
struct DueReap {
  ReapTrigger trigger = ReapTrigger::schedule;  ///< login, schedule or sessionEnd
  std::optional<ProcessIdentity> session;       ///< sessionEnd: the session that ended
  bool dryRun = false;                          ///< the rules' dryRunOverride

  bool operator==(const DueReap&) const = default;
};

class ReaperScheduler {
 public:
  using Time = std::chrono::system_clock::time_point;

  /// The login reap waits this long after launch, so that the session the user
  /// just logged into has started its agents before anything is judged a ghost.
  static constexpr double kLoginDelay = 120;
  /// The most one observation may add to the time the scheduler has watched.
  static constexpr double kLongestStep = 60;

  explicit ReaperScheduler(Time launchedAt);

  /// Called once per observation with the root identities of the agent sessions
  /// alive at `now`. Returns the reaps due now: login or schedule first (never
  /// both: a login reap counts as the scheduled one), then session ends in the
  /// order they ended. Nothing while `rules.enabled` is off.
  std::vector<DueReap> observe(const ReaperRules& rules,
                               const std::vector<ProcessIdentity>& liveSessions, Time now);

 private:
  struct EndedSession {
    ProcessIdentity session;
    double endedAt = 0;  ///< on the watched clock
  };

  void advanceTo(Time now);
  void noteEndedSessions(const ReaperRules& rules,
                         const std::vector<ProcessIdentity>& liveSessions);

  std::vector<ProcessIdentity> live_;
  bool primed_ = false;
  Time lastObservation_;  ///< the launch until the first observation
  // Seconds watched since launch. Every interval and grace is measured on it,
  // never on the wall clock itself, so that a clock set back or forward can
  // neither stall the triggers nor make them all fall due at once (advanceTo).
  double watched_ = 0;
  bool loginDone_ = false;
  double lastScheduledRun_ = 0;
  std::vector<EndedSession> endedSessions_;
};

}  // namespace glimmet
