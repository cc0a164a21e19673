// When each agent session was last seen working, for the guess that a session
// without hooks is done and for telling that an approval request was answered.
// A session works at a look when its processes used at least 5 % of a core
// since the look before (the agent streaming a reply, a tool or a test run) or
// when a process of it started or ended (a tool call). Only a session that has
// worked can go quiet: one that waits at its first prompt is never guessed done.
// The agent itself works when it used that share, or a process started or
// ended: a server busy in the background doesn't answer a prompt.
#pragma once

#include <chrono>
#include <optional>
#include <span>
#include <unordered_map>

#include "core/output/iso8601.h"
#include "core/process/process_identity.h"
#include "logic/alerts/watched_session.h"

namespace glimmet {

class SessionIdleTracker {
 public:
  /// The share of one core above which a session counts as working.
  static constexpr double kWorkingShare = 0.05;

  /// One look at the live sessions; sessions that are gone are forgotten.
  void observe(std::span<const WatchedSession> sessions, SystemTime now);

  /// When `root`'s agent itself was last seen working; nothing when it hasn't been yet.
  std::optional<SystemTime> agentLastWorked(const ProcessIdentity& root) const;

  /// How long `root` has been quiet when its quiet spell has lasted `quietAfter`
  /// and has not been guessed about yet; the spell then counts as guessed.
  std::optional<std::chrono::duration<double>> takeQuietSpell(
      const ProcessIdentity& root, std::chrono::duration<double> quietAfter, SystemTime now);

 private:
  struct State {
    WatchedSession seen;
    SystemTime lookedAt;
    std::optional<SystemTime> lastWorked;
    std::optional<SystemTime> agentLastWorked;
    bool guessed = false;
  };
  std::unordered_map<ProcessIdentity, State> sessions_;
};

}  // namespace glimmet
