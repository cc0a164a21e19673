// Working and quiet spells per session.
#include "logic/alerts/session_idle_tracker.h"

#include <unordered_set>

namespace glimmet {
namespace {

// Whether the CPU time went up by the working share of the time between two looks.
bool busy(const std::optional<std::chrono::microseconds>& before,
          const std::optional<std::chrono::microseconds>& after,
          std::chrono::duration<double> elapsed) {
  if (!before || !after || elapsed.count() <= 0) return false;
  const std::chrono::duration<double> used = *after - *before;
  return used.count() >= SessionIdleTracker::kWorkingShare * elapsed.count();
}

}  // namespace

void SessionIdleTracker::observe(std::span<const WatchedSession> sessions, SystemTime now) {
  std::unordered_set<ProcessIdentity> live;
  for (const auto& session : sessions) {
    if (!session.live) continue;
    live.insert(session.root);
    const auto [found, isNew] = sessions_.try_emplace(session.root);
    State& state = found->second;
    if (!isNew) {
      const std::chrono::duration<double> elapsed = now - state.lookedAt;
      const bool changed = session.membersDigest != state.seen.membersDigest;
      if (changed || busy(state.seen.agentCPU, session.agentCPU, elapsed))
        state.agentLastWorked = now;
      if (changed || busy(state.seen.sessionCPU, session.sessionCPU, elapsed)) {
        state.lastWorked = now;
        state.guessed = false;
      }
    }
    state.seen = session;
    state.lookedAt = now;
  }
  std::erase_if(sessions_, [&](const auto& entry) { return !live.contains(entry.first); });
}

std::optional<SystemTime> SessionIdleTracker::agentLastWorked(const ProcessIdentity& root) const {
  const auto found = sessions_.find(root);
  return found == sessions_.end() ? std::nullopt : found->second.agentLastWorked;
}

std::optional<std::chrono::duration<double>> SessionIdleTracker::takeQuietSpell(
    const ProcessIdentity& root, std::chrono::duration<double> quietAfter, SystemTime now) {
  const auto found = sessions_.find(root);
  if (found == sessions_.end()) return std::nullopt;
  State& state = found->second;
  if (!state.lastWorked || state.guessed) return std::nullopt;
  const std::chrono::duration<double> quiet = now - *state.lastWorked;
  if (quiet < quietAfter) return std::nullopt;
  state.guessed = true;
  return quiet;
}

}  // namespace glimmet
