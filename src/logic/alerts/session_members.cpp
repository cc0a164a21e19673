// Session members over a snapshot and the ancestry records.
#include "logic/alerts/session_members.h"

#include <algorithm>
#include <functional>
#include <unordered_set>

#include "logic/agents/agent_session.h"
#include "logic/survey/tracked_processes.h"

namespace glimmet {
namespace {

bool belongs(const ProcessRecord& record, uid_t uid) {
  return record.uid == uid && record.status != ProcessStatus::zombie;
}

bool recordedUnder(const ProcessRecord& record, const ProcessIdentity& root,
                   const AncestryRecorder& ancestry) {
  const auto* recorded = ancestry.recordFor(record.identity);
  return recorded != nullptr &&
         std::any_of(recorded->chain.begin(), recorded->chain.end(),
                     [&](const AncestorEntry& entry) { return entry.identity() == root; });
}

SessionMember memberOf(const ProcessRecord& record) {
  return {&record, AgentSessionBuilder::kindOf(trackedProcessOf(record)) == SessionChildKind::mcp};
}

}  // namespace

std::vector<SessionMember> sessionMembers(const ProcessIdentity& root,
                                          const ProcessSnapshot& snapshot,
                                          const AncestryRecorder& ancestry, uid_t uid) {
  std::vector<SessionMember> members;
  std::unordered_set<pid_t> taken;
  const ProcessRecord* agent = snapshot.record(root.pid);
  if (agent != nullptr && agent->identity == root) {
    for (const auto* record : snapshot.descendants(root.pid)) {
      if (!belongs(*record, uid)) continue;
      members.push_back(memberOf(*record));
      taken.insert(record->pid());
    }
  }
  for (const auto& record : snapshot.records()) {
    if (record.identity == root || taken.contains(record.pid()) || !belongs(record, uid)) continue;
    if (recordedUnder(record, root, ancestry)) members.push_back(memberOf(record));
  }
  return members;
}

std::uint64_t membersDigest(std::span<const SessionMember> members) {
  // A sum of well-mixed hashes: order-free, and a process more or less changes it.
  std::uint64_t digest = members.size();
  for (const auto& member : members) {
    std::uint64_t mixed = std::hash<ProcessIdentity>{}(member.record->identity);
    mixed ^= mixed >> 33;
    mixed *= 0xff51afd7ed558ccdULL;
    mixed ^= mixed >> 33;
    digest += mixed;
  }
  return digest;
}

}  // namespace glimmet
