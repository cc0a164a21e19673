#include "logic/survey/tracked_processes.h"

#include <algorithm>

namespace glimmet {
namespace {

std::optional<ProcessRole> roleOf(SignatureSet::AgentRoot::Kind kind) {
  switch (kind) {
    case SignatureSet::AgentRoot::Kind::agent:
      return ProcessRole::agent;
    case SignatureSet::AgentRoot::Kind::ide:
      return ProcessRole::ide;
    case SignatureSet::AgentRoot::Kind::terminal:
      return ProcessRole::terminal;
  }
  return std::nullopt;
}

// The nearest agent in the chain recorded while the process lived under it.
void addRecordedAgent(TrackedProcess& tracked, const ProcessRecord& record,
                      const ProcessSnapshot& snapshot, const AncestryRecorder& ancestry) {
  const auto* recorded = ancestry.recordFor(record.identity);
  if (recorded == nullptr) return;
  const auto agent =
      std::find_if(recorded->chain.begin(), recorded->chain.end(), [](const auto& entry) {
        return entry.root && entry.root->kind == SignatureSet::AgentRoot::Kind::agent;
      });
  if (agent == recorded->chain.end()) return;
  tracked.recordedAgentPID = agent->pid;
  tracked.recordedAgentName = agent->root->agent;
  // Alive only as the very process recorded, not a later one that reused its pid.
  const ProcessRecord* live = snapshot.record(agent->pid);
  tracked.recordedAgentAlive = live != nullptr && live->identity == agent->identity();
}

}  // namespace

TrackedProcess trackedProcessOf(const ProcessRecord& record) {
  TrackedProcess tracked;
  tracked.pid = record.pid();
  tracked.ppid = record.ppid;
  tracked.uid = record.uid;
  tracked.name = record.name;
  tracked.path = record.path;
  tracked.commandLine = record.commandLine();
  tracked.cwd = record.cwd;
  tracked.start = record.startDate();
  tracked.startTime = record.identity.startTime;
  tracked.footprint = record.footprint;
  return tracked;
}

std::vector<TrackedProcess> trackedProcesses(const ProcessSnapshot& snapshot, MatchCache& cache,
                                             const AncestryRecorder& ancestry,
                                             const TrackingSources& sources, uid_t uid) {
  std::vector<TrackedProcess> out;
  out.reserve(snapshot.size());
  for (const auto& record : snapshot.records()) {
    TrackedProcess tracked = trackedProcessOf(record);
    // The snapshot is one instant and carries no CPU rate: cpuPercent stays absent.
    if (sources.portsByPID != nullptr) {
      const auto ports = sources.portsByPID->find(record.pid());
      if (ports != sources.portsByPID->end()) tracked.ports = ports->second;
    }
    if (const auto root = cache.agentRoot(record)) {
      tracked.role = roleOf(root->kind);
      tracked.agentName = root->agent;
    }
    if (record.uid == uid) {
      tracked.framework = cache.framework(record);
      if (tracked.role == ProcessRole::agent && record.cwd && sources.projectOf)
        tracked.project = sources.projectOf(*record.cwd);
      addRecordedAgent(tracked, record, snapshot, ancestry);
      if (const auto helper = cache.agentHelper(record)) tracked.helperOf = helper->agent;
    }
    out.push_back(std::move(tracked));
  }
  return out;
}

}  // namespace glimmet
