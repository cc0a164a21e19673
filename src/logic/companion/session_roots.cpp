#include "logic/companion/session_roots.h"

#include <algorithm>
#include <unordered_set>

#include "core/process/system_process_table.h"
#include "logic/agents/agent_session.h"
#include "logic/survey/tracked_processes.h"

namespace glimmet {
namespace {

bool isAgent(const ProcessRecord& record, MatchCache& cache) {
  if (record.status == ProcessStatus::zombie) return false;
  const auto root = cache.agentRoot(record);
  return root && root->kind == SignatureSet::AgentRoot::Kind::agent;
}

TrackedProcess trackedOf(const ProcessRecord& record, bool agent, MatchCache& cache) {
  TrackedProcess tracked = trackedProcessOf(record);
  if (agent) {
    tracked.role = ProcessRole::agent;
    tracked.agentName = cache.agentRoot(record)->agent;
  }
  return tracked;
}

}  // namespace

std::vector<std::pair<ProcessIdentity, pid_t>> agentProcesses(const ProcessSnapshot& snapshot,
                                                              MatchCache& cache) {
  std::vector<std::pair<ProcessIdentity, pid_t>> agents;
  for (const auto& record : snapshot.records())
    if (isAgent(record, cache)) agents.emplace_back(record.identity, record.ppid);
  return agents;
}

std::vector<ProcessIdentity> liveSessionRoots(const ProcessSnapshot& snapshot, MatchCache& cache,
                                              uid_t uid,
                                              std::chrono::system_clock::time_point now) {
  // Whether an agent roots a session depends on it and its ancestors alone, so
  // the builder is given those, not the whole table.
  std::vector<TrackedProcess> processes;
  std::unordered_set<pid_t> taken;
  for (const auto& record : snapshot.records()) {
    if (!isAgent(record, cache)) continue;
    for (const ProcessRecord* step = &record; step != nullptr && step->pid() > 1;
         step = snapshot.record(step->ppid)) {
      if (!taken.insert(step->pid()).second) break;
      processes.push_back(trackedOf(*step, isAgent(*step, cache), cache));
    }
  }
  std::vector<ProcessIdentity> roots;
  for (const auto& session : AgentSessionBuilder::build(processes, uid, now, systemProcessTable()))
    roots.push_back({session.pid, session.startTime});
  std::sort(roots.begin(), roots.end(),
            [](const ProcessIdentity& a, const ProcessIdentity& b) { return a.pid < b.pid; });
  return roots;
}

}  // namespace glimmet
