// Which agent alerts are due at a look of the companion, from the events the
// hooks recorded, the sessions it watches and the alert rules:
// - a finished turn alerts at once, saying how long the agent has run and what
//   its session keeps running besides the agent and its MCP servers;
// - an agent waiting at its prompt alerts at once, unless it just said it
//   finished (that alert said the same), under the `finished` rule;
// - an approval request alerts once it has waited `approvalDelay`, unless the
//   session answered it first: a later event of the same session, or the
//   session working again (the hook's own start aside);
// - a session that never sent an event (no hooks) is guessed done once per
//   quiet spell, after `idleAfter` without working;
// - with `onlyWhenAway`, alerts that fall due while the person is known to be
//   there are dropped, not held.
// Events, and anything held about them, older than an hour are dropped. A
// session's events drained together give one alert of each kind (its last),
// and no look raises more than 20, so a hook gone wild can't flood the desktop.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/settings/glimmet_settings.h"
#include "logic/agents/agent_event.h"
#include "logic/agents/agent_notify_copy.h"
#include "logic/alerts/session_idle_tracker.h"
#include "logic/alerts/watched_session.h"

namespace glimmet {

struct DueAlert {
  enum class Kind { finished, waiting, approvalNeeded, idleGuess };
  Kind kind = Kind::finished;
  AgentAlert alert;

  bool operator==(const DueAlert&) const = default;
};

class AgentNotifier {
 public:
  static constexpr std::chrono::hours kLongestHeld{1};
  static constexpr std::size_t kMostAlertsPerLook = 20;
  /// Bounds on what is held between looks, whatever the events.
  static constexpr std::size_t kMostPending = 256;
  static constexpr std::size_t kMostSessionsSeen = 4096;
  /// Work seen this soon after an approval request is its hook running, not an answer.
  static constexpr std::chrono::seconds kAnswerGrace{5};

  /// Whether the person is away; nothing when that can't be told. Asked only
  /// with `onlyWhenAway` and an alert due, since finding out takes a call.
  using Away = std::function<std::optional<bool>()>;

  /// One look: `events` drained since the last one (oldest first), the live
  /// sessions and those that ended lately, the rules and now. The alerts due,
  /// in order.
  std::vector<DueAlert> look(std::span<const AgentEvent> events,
                             std::span<const WatchedSession> sessions,
                             const AgentNotifyRules& rules, const Away& away, SystemTime now);

  /// Whether an approval request waits for its delay: the next look may raise it.
  bool waiting() const { return !pending_.empty(); }

 private:
  struct Seen {
    SystemTime first;
    SystemTime last;
    AgentEventKind lastKind = AgentEventKind::finished;
  };
  /// The alert `event` raises at once, if any.
  std::optional<DueAlert> take(const AgentEvent& event, std::span<const WatchedSession> sessions,
                               const AgentNotifyRules& rules, SystemTime now);
  void raiseApprovals(std::span<const WatchedSession> sessions, const AgentNotifyRules& rules,
                      SystemTime now, std::vector<DueAlert>& due);
  void raiseGuesses(std::span<const WatchedSession> sessions, const AgentNotifyRules& rules,
                    SystemTime now, std::vector<DueAlert>& due);
  void forget(std::span<const WatchedSession> sessions, SystemTime now);

  SessionIdleTracker idle_;
  std::vector<AgentEvent> pending_;             ///< approval requests not yet due
  std::map<std::string, Seen> seen_;            ///< by session key
  std::unordered_set<ProcessIdentity> hooked_;  ///< sessions that sent an event
};

}  // namespace glimmet
