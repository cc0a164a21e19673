// Agent alerts at each look of the companion.
#include "app/companion_alerts.h"

#include <algorithm>

#include "core/agents/agent_event_inbox.h"
#include "logic/alerts/session_members.h"
#include "platform/screen_lock.h"
#include "platform/system_error.h"

namespace glimmet {
namespace {

constexpr std::string_view kEvents = "agent events";
// A hook holds the events' lock for one write; a lock held longer is stuck,
// and the look must not wait on it.
constexpr std::chrono::milliseconds kEventsLockWait{250};
constexpr std::chrono::milliseconds kScreenLockTimeout{1000};

// What one process costs and has used, read now; nothing when it is gone or
// its pid went to another process.
std::optional<platform::KernelReading> readNow(const platform::ProcessTable& table,
                                               const ProcessIdentity& identity) {
  const auto handle = table.open(identity.pid);
  if (!handle) return std::nullopt;
  auto reading = handle->read();
  if (!reading || reading->summary.startTime != identity.startTime) return std::nullopt;
  return reading;
}

}  // namespace

CompanionAlerts::CompanionAlerts(const platform::SharedFolder& folder,
                                 const Environment& environment, std::ostream& log,
                                 FailureNotes& notes)
    : folder_(folder),
      environment_(environment),
      log_(log),
      notes_(notes),
      outlet_(environment, log, notes) {}

bool CompanionAlerts::due(std::span<const ProcessIdentity> sessions) const {
  return !sessions.empty() || !live_.empty() || !ended_.empty() || notifier_.waiting() ||
         AgentEventInbox(folder_.path()).hasPendingEvents();
}

std::vector<AgentEvent> CompanionAlerts::drain(SystemTime now) {
  const AgentEventInbox inbox(folder_.path());
  if (!inbox.hasPendingEvents()) return {};
  try {
    const auto log = inbox.drain(kEventsLockWait);
    if (notes_.succeeded(kEvents)) log_ << "Took the agent events again.\n";
    return decodeAgentEventLog(log, now);
  } catch (const platform::SystemError& failure) {
    const std::string message = std::string("Couldn't take the agent events: ") + failure.what() +
                                ". They wait in the file until they can be taken.";
    if (notes_.failed(kEvents, message)) log_ << message << '\n';
    return {};
  }
}

std::vector<WatchedSession> CompanionAlerts::watch(SystemTime now, const ProcessSnapshot& snapshot,
                                                   std::span<const ProcessIdentity> sessions,
                                                   const AncestryRecorder& ancestry,
                                                   MatchCache* cache, uid_t uid) {
  std::vector<WatchedSession> watched;
  for (const auto& root : sessions) {
    const ProcessRecord* agent = snapshot.record(root.pid);
    if (agent == nullptr || agent->identity != root || cache == nullptr) continue;
    const auto match = cache->agentRoot(*agent);
    WatchedSession session{
        .root = root, .agent = match ? match->agent : agent->name, .start = agent->startDate()};
    const auto members = sessionMembers(root, snapshot, ancestry, uid);
    session.membersDigest = membersDigest(members);
    if (const auto reading = readNow(table_, root)) {
      session.agentCPU = std::chrono::microseconds(reading->cpuTime);
      session.sessionCPU = session.agentCPU;
    }
    std::uint64_t memory = 0;
    for (std::size_t i = 0; i < members.size(); ++i) {
      const auto& member = members[i];
      if (!member.mcpServer) ++session.leftBehind.processes;
      if (i >= kMostMembersRead) continue;
      const auto reading = readNow(table_, member.record->identity);
      if (!reading) continue;
      if (session.sessionCPU) *session.sessionCPU += std::chrono::microseconds(reading->cpuTime);
      if (!member.mcpServer) memory += reading->memory.footprint;
    }
    if (session.leftBehind.processes > 0 && members.size() <= kMostMembersRead)
      session.leftBehind.memoryBytes = memory;
    watched.push_back(std::move(session));
  }

  // Sessions seen at the last look and gone now have ended.
  for (const auto& before : live_) {
    const bool stillLive = std::any_of(watched.begin(), watched.end(), [&](const auto& session) {
      return session.root == before.root;
    });
    if (!stillLive) ended_.push_back({before, now});
  }
  std::erase_if(ended_, [&](const Ended& ended) { return now - ended.endedAt > kEndedKept; });
  live_ = watched;
  for (auto& ended : ended_) {
    WatchedSession session = ended.session;
    session.live = false;
    session.leftBehind = {};
    std::uint64_t memory = 0;
    for (const auto& member : sessionMembers(session.root, snapshot, ancestry, uid)) {
      if (member.mcpServer) continue;
      ++session.leftBehind.processes;
      if (const auto reading = readNow(table_, member.record->identity))
        memory += reading->memory.footprint;
    }
    if (session.leftBehind.processes > 0) session.leftBehind.memoryBytes = memory;
    watched.push_back(std::move(session));
  }
  return watched;
}

void CompanionAlerts::look(SystemTime wall, NotificationOutlet::Clock::time_point steady,
                           const ProcessSnapshot& snapshot,
                           std::span<const ProcessIdentity> sessions,
                           const AncestryRecorder& ancestry, MatchCache* cache,
                           const CommandInputs& inputs) {
  const auto events = drain(wall);
  const auto watched = watch(wall, snapshot, sessions, ancestry, cache, inputs.uid());
  const auto away = [this] { return platform::screenLocked(environment_, kScreenLockTimeout); };
  for (const auto& due : notifier_.look(events, watched, inputs.settings.agentNotify, away, wall))
    outlet_.show({.summary = due.alert.title, .body = due.alert.body}, steady);
}

}  // namespace glimmet
