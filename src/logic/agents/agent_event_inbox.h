// The event inbox shared with the application: agent-events.jsonl, one event per
// line, guarded by an exclusive flock on agent-events.lock. The lock lives on its
// own file so that the log itself can be truncated or replaced while it is held.
#pragma once

#include <filesystem>
#include <vector>

#include "logic/agents/agent_event.h"

namespace glimmet {

class AgentEventInbox {
 public:
  explicit AgentEventInbox(std::filesystem::path folder) : folder_(std::move(folder)) {}

  /// Appends one line under the lock, creating the folder (0700) and the files
  /// (0600) as needed. A log already past 256 KiB is started afresh with this line,
  /// so an inbox nobody drains stays bounded. The lock is waited on for about
  /// 2 seconds (an agent's hook is waiting): platform::LockTimeout after that,
  /// platform::SystemError for anything else, a planted link or FIFO included.
  void append(const AgentEvent& event) const;

  /// Takes every line out of the log under the lock (leaving it empty) and returns
  /// the events younger than 600 seconds at `now`, oldest first. Lines that don't
  /// decode are dropped. Throws platform::SystemError when the log can't be emptied.
  std::vector<AgentEvent> drain(SystemTime now) const;

  /// Whether the log exists and is not empty.
  bool hasPendingEvents() const;

 private:
  std::filesystem::path folder_;
};

}  // namespace glimmet
