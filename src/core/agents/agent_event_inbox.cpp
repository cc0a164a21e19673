// AgentEventInbox over the platform's locked files.
#include "core/agents/agent_event_inbox.h"

#include "core/settings/shared_files.h"
#include "platform/files.h"

namespace glimmet {
namespace {

// The log is bounded by the append rule; this only keeps a file that is not
// ours from being read whole into memory.
constexpr size_t kLargestDrainedLog = 64 * 1024 * 1024;

}  // namespace

void AgentEventInbox::append(std::string_view line) const {
  const auto folder = platform::SharedFolder::create(folder_);
  // An agent's hook is waiting on this: a lock held past the short wait costs
  // the event, never the agent's turn.
  const auto lock = folder.lock(shared_files::agentEventsLock, shared_files::hookLockWait);
  const auto size = folder.size(shared_files::agentEvents);
  if (size && *size > kAgentEventInboxLimit) {
    // Replacing rather than truncating in place: a reader that ignores the lock
    // still sees the old log or the new one, never a torn one.
    folder.replace(shared_files::agentEvents, line);
    return;
  }
  folder.append(shared_files::agentEvents, line);
}

std::string AgentEventInbox::drain(std::chrono::milliseconds lockWait) const {
  const auto folder = platform::SharedFolder::create(folder_);
  const auto lock = folder.lock(shared_files::agentEventsLock, lockWait);
  auto bytes = folder.read(shared_files::agentEvents, kLargestDrainedLog);
  if (!bytes || bytes->empty()) return {};
  folder.replace(shared_files::agentEvents, "");
  return std::move(*bytes);
}

bool AgentEventInbox::hasPendingEvents() const {
  const auto folder = platform::SharedFolder::open(folder_);
  if (!folder) return false;
  const auto size = folder->size(shared_files::agentEvents);
  return size && *size > 0;
}

}  // namespace glimmet
