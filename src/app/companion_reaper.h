// The companion's reaper: the login, schedule and session-end triggers of the
// user's reaper rules, run through the same reaper and kill log as
// `glimmet reap`, each entry carrying its trigger.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <vector>

#include "app/command_inputs.h"
#include "core/companion/companion_state.h"
#include "core/output/iso8601.h"
#include "core/process/process_identity.h"

namespace glimmet {

class CompanionReaper {
 public:
  /// `startedAt` is when the companion started: the login trigger counts from it.
  explicit CompanionReaper(SystemTime startedAt);
  ~CompanionReaper();
  CompanionReaper(const CompanionReaper&) = delete;
  CompanionReaper& operator=(const CompanionReaper&) = delete;

  /// Called once per observation. `liveSessions` are the root identities of the
  /// user's agent sessions alive at `now`; `inputs` are the settings, rules and
  /// signatures as loaded now. Runs every reap that is due (none while
  /// `reaper.enabled` is off), and returns the last one it ran. Never throws:
  /// a failure is said on `log`, once until it changes.
  std::optional<CompanionReap> tick(const CommandInputs& inputs,
                                    const std::vector<ProcessIdentity>& liveSessions,
                                    SystemTime now, std::ostream& log);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace glimmet
