// The companion's agent alerts. At each look it drains the events the agents'
// hooks recorded, sees how each live agent session is doing (the CPU its
// processes used since the last look, processes started or ended) and what
// it would leave behind, and raises the alerts the notifier says are due: on
// the desktop, else on its log. The rules are the settings' `agentNotify`, as
// the inputs hold them at that look, so an edit applies at the next one.
#pragma once

#include <chrono>
#include <ostream>
#include <span>
#include <vector>

#include "app/command_inputs.h"
#include "app/notification_outlet.h"
#include "core/ghosts/ancestry_recorder.h"
#include "core/ghosts/match_cache.h"
#include "core/process/process_snapshot.h"
#include "logic/alerts/agent_notifier.h"
#include "logic/companion/failure_notes.h"
#include "platform/files.h"
#include "platform/process_info.h"

namespace glimmet {

class CompanionAlerts {
 public:
  /// At most this many processes of a session are read for their CPU at a look.
  static constexpr std::size_t kMostMembersRead = 64;
  /// A session that ended is kept this long, for the finished event its hook
  /// sent as it ended and for what it left behind.
  static constexpr std::chrono::minutes kEndedKept{10};

  CompanionAlerts(const platform::SharedFolder& folder, const Environment& environment,
                  std::ostream& log, FailureNotes& notes);

  /// Whether a look has anything to do: events to drain, sessions to watch or
  /// an approval request that waits. Without, the table needn't be handed over.
  bool due(std::span<const ProcessIdentity> sessions) const;

  /// One look: `sessions` are the live session roots in `snapshot`; `cache`
  /// names their agents (none without signatures).
  void look(SystemTime wall, NotificationOutlet::Clock::time_point steady,
            const ProcessSnapshot& snapshot, std::span<const ProcessIdentity> sessions,
            const AncestryRecorder& ancestry, MatchCache* cache, const CommandInputs& inputs);

  /// The outlet alerts go through, for other notifications of the companion.
  NotificationOutlet& outlet() { return outlet_; }

 private:
  std::vector<AgentEvent> drain(SystemTime now);
  std::vector<WatchedSession> watch(SystemTime now, const ProcessSnapshot& snapshot,
                                    std::span<const ProcessIdentity> sessions,
                                    const AncestryRecorder& ancestry, MatchCache* cache, uid_t uid);

  const platform::SharedFolder& folder_;
  const Environment& environment_;
  std::ostream& log_;
  FailureNotes& notes_;
  NotificationOutlet outlet_;
  AgentNotifier notifier_;
  platform::ProcessTable table_;
  std::vector<WatchedSession> live_;
  struct Ended {
    WatchedSession session;
    SystemTime endedAt;
  };
  std::vector<Ended> ended_;
};

}  // namespace glimmet
