// The event inbox shared with the application: agent-events.jsonl, one event per
// line, guarded by an exclusive flock on agent-events.lock. The lock lives on its
// own file so that the log itself can be truncated or replaced while it is held.
// The inbox moves whole lines; what a line says is the event record's business.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/settings/shared_files.h"

namespace glimmet {

/// An append to a log larger than this starts it afresh.
inline constexpr uint64_t kAgentEventInboxLimit = 262'144;

class AgentEventInbox {
 public:
  explicit AgentEventInbox(std::filesystem::path folder) : folder_(std::move(folder)) {}

  /// Appends `line` (ended by its line feed) under the lock, creating the folder
  /// (0700) and the files (0600) as needed. A log already past 256 KiB is
  /// started afresh with this line, so an inbox nobody drains stays bounded. The
  /// lock is waited on for about 2 seconds (an agent's hook is waiting):
  /// platform::LockTimeout after that, platform::SystemError for anything else,
  /// a planted link or FIFO included.
  void append(std::string_view line) const;

  /// Takes everything out of the log under the lock, leaving it empty, and
  /// returns it; empty when there is no log. Throws platform::SystemError when
  /// the log can't be emptied, platform::LockTimeout when the lock stayed held
  /// for `lockWait`.
  std::string drain(std::chrono::milliseconds lockWait = shared_files::commandLockWait) const;

  /// Whether the log exists and is not empty.
  bool hasPendingEvents() const;

 private:
  std::filesystem::path folder_;
};

}  // namespace glimmet
