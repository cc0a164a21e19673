// The timing of agent alerts.
#include "logic/alerts/agent_notifier.h"

#include <algorithm>

namespace glimmet {
namespace {

using Kind = DueAlert::Kind;
using Seconds = std::chrono::duration<double>;

// Events of one session: the agent's pid (its hook passes it), else the
// agent's own session id.
std::string sessionKey(const AgentEvent& event) {
  if (event.pid) return event.agent + "\npid " + std::to_string(*event.pid);
  if (event.sessionID) return event.agent + "\nid " + *event.sessionID;
  return event.agent;
}

const WatchedSession* sessionOf(const AgentEvent& event, std::span<const WatchedSession> sessions) {
  if (!event.pid) return nullptr;
  for (const auto& session : sessions)
    if (session.root.pid == *event.pid) return &session;
  return nullptr;
}

double secondsBetween(SystemTime earlier, SystemTime later) {
  return std::max(0.0, Seconds(later - earlier).count());
}

}  // namespace

std::vector<DueAlert> AgentNotifier::look(std::span<const AgentEvent> events,
                                          std::span<const WatchedSession> sessions,
                                          const AgentNotifyRules& rules, const Away& away,
                                          SystemTime now) {
  idle_.observe(sessions, now);
  std::vector<DueAlert> due;
  // Where this look's alert of each kind for each session is, to replace it.
  std::map<std::pair<std::string, DueAlert::Kind>, std::size_t> raised;
  for (const auto& event : events) {
    auto alert = take(event, sessions, rules, now);
    if (!alert) continue;
    const auto [at, isNew] = raised.try_emplace({sessionKey(event), alert->kind}, due.size());
    if (isNew)
      due.push_back(std::move(*alert));
    else
      due[at->second] = std::move(*alert);
  }
  raiseApprovals(sessions, rules, now, due);
  raiseGuesses(sessions, rules, now, due);
  forget(sessions, now);
  if (due.size() > kMostAlertsPerLook) due.resize(kMostAlertsPerLook);
  // Unknown counts as away: an alert too many beats one missed.
  if (rules.onlyWhenAway && !due.empty() && away && away() == false) due.clear();
  return due;
}

std::optional<DueAlert> AgentNotifier::take(const AgentEvent& event,
                                            std::span<const WatchedSession> sessions,
                                            const AgentNotifyRules& rules, SystemTime now) {
  if (now - event.time > kLongestHeld) return std::nullopt;
  const auto key = sessionKey(event);
  const WatchedSession* session = sessionOf(event, sessions);
  if (session) hooked_.insert(session->root);

  // Whatever the session says next answers the request it made before.
  std::erase_if(pending_, [&](const AgentEvent& pending) {
    return sessionKey(pending) == key && pending.time <= event.time;
  });
  const auto [found, isNew] = seen_.try_emplace(key, Seen{event.time, event.time, event.kind});
  const AgentEventKind previous = isNew ? AgentEventKind::needsApproval : found->second.lastKind;
  found->second.last = std::max(found->second.last, event.time);
  found->second.lastKind = event.kind;

  switch (event.kind) {
    case AgentEventKind::needsApproval:
      if (rules.needsApproval && pending_.size() < kMostPending) pending_.push_back(event);
      return std::nullopt;
    case AgentEventKind::finished: {
      if (!rules.finished) return std::nullopt;
      const double ran =
          session ? secondsBetween(session->start, now) : secondsBetween(found->second.first, now);
      return DueAlert{Kind::finished,
                      AgentNotifyCopy::finished(event.agent, ran,
                                                session ? session->leftBehind : LeftBehind{})};
    }
    case AgentEventKind::waiting:
      if (!rules.finished || previous == AgentEventKind::finished) return std::nullopt;
      return DueAlert{Kind::waiting, AgentNotifyCopy::waitingForInput(event.agent, event.message)};
  }
  return std::nullopt;
}

void AgentNotifier::raiseApprovals(std::span<const WatchedSession> sessions,
                                   const AgentNotifyRules& rules, SystemTime now,
                                   std::vector<DueAlert>& due) {
  const Seconds delay(rules.approvalDelay);
  std::erase_if(pending_, [&](const AgentEvent& request) {
    if (now - request.time > kLongestHeld || !rules.needsApproval) return true;
    if (const auto* session = sessionOf(request, sessions); session && session->live) {
      const auto worked = idle_.agentLastWorked(session->root);
      if (worked && *worked > request.time + kAnswerGrace) return true;
    }
    if (now - request.time < delay) return false;
    due.push_back(
        {Kind::approvalNeeded, AgentNotifyCopy::approvalNeeded(request.agent, request.message,
                                                               secondsBetween(request.time, now))});
    return true;
  });
}

void AgentNotifier::raiseGuesses(std::span<const WatchedSession> sessions,
                                 const AgentNotifyRules& rules, SystemTime now,
                                 std::vector<DueAlert>& due) {
  if (!rules.idleGuess) return;
  for (const auto& session : sessions) {
    if (!session.live || hooked_.contains(session.root)) continue;
    if (const auto quiet = idle_.takeQuietSpell(session.root, Seconds(rules.idleAfter), now))
      due.push_back(
          {DueAlert::Kind::idleGuess, AgentNotifyCopy::idleGuess(session.agent, quiet->count())});
  }
}

void AgentNotifier::forget(std::span<const WatchedSession> sessions, SystemTime now) {
  std::erase_if(hooked_, [&](const ProcessIdentity& root) {
    return std::none_of(sessions.begin(), sessions.end(),
                        [&](const WatchedSession& session) { return session.root == root; });
  });
  std::erase_if(seen_, [&](const auto& entry) { return now - entry.second.last > kLongestHeld; });
  if (seen_.size() > kMostSessionsSeen) {
    std::vector<std::pair<SystemTime, std::string>> byAge;
    for (const auto& [key, seen] : seen_) byAge.emplace_back(seen.last, key);
    std::sort(byAge.begin(), byAge.end());
    for (std::size_t i = 0; i + kMostSessionsSeen < byAge.size(); ++i) seen_.erase(byAge[i].second);
  }
}

}  // namespace glimmet
