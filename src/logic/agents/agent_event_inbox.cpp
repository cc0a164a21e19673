// AgentEventInbox over the platform's locked files.
#include "logic/agents/agent_event_inbox.h"

#include <sys/stat.h>

#include "core/settings/shared_files.h"
#include "platform/files.h"

namespace glimmet {
namespace {

// The log is bounded by the append rule; this only keeps a file that is not
// ours from being read whole into memory.
constexpr size_t kLargestDrainedLog = 64 * 1024 * 1024;

}  // namespace

void AgentEventInbox::append(const AgentEvent& event) const {
  const std::string line = encodeAgentEventLine(event);
  platform::createDirectories(folder_, 0700);
  const auto lock = platform::LockedFile::acquire(folder_ / shared_files::agentEventsLock);
  const auto log = folder_ / shared_files::agentEvents;
  struct stat info {};
  if (::stat(log.c_str(), &info) == 0 &&
      static_cast<uint64_t>(info.st_size) > kAgentEventInboxLimit) {
    // Replacing rather than truncating in place: a reader that ignores the lock
    // still sees the old log or the new one, never a torn one.
    platform::writeFileAtomically(log, line, 0600);
    return;
  }
  platform::appendToFile(log, line);
}

std::vector<AgentEvent> AgentEventInbox::drain(SystemTime now) const {
  std::optional<std::string> bytes;
  {
    platform::createDirectories(folder_, 0700);
    const auto lock = platform::LockedFile::acquire(folder_ / shared_files::agentEventsLock);
    const auto log = folder_ / shared_files::agentEvents;
    bytes = platform::readFile(log, kLargestDrainedLog);
    if (!bytes || bytes->empty()) return {};
    platform::writeFileAtomically(log, "", 0600);
  }
  std::vector<AgentEvent> events;
  std::string_view rest = *bytes;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    if (line.empty()) continue;
    auto event = decodeAgentEvent(line);
    if (event && now - event->time < kLongestAgentEventAge) events.push_back(std::move(*event));
  }
  return events;
}

bool AgentEventInbox::hasPendingEvents() const {
  struct stat info {};
  const auto log = folder_ / shared_files::agentEvents;
  return ::stat(log.c_str(), &info) == 0 && info.st_size > 0;
}

}  // namespace glimmet
