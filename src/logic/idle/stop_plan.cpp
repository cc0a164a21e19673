#include "logic/idle/stop_plan.h"

#include <algorithm>

#include "core/output/byte_format.h"
#include "core/output/text.h"

namespace glimmet {

std::vector<std::string> StopPlanDocument::lines() const {
  if (plan.stop.empty()) {
    return {plan.skipped.empty() ? "No idle dev servers."
                                 : "No idle dev servers that Glimmet is allowed to stop."};
  }
  return plan.lines(minimumAgeSeconds);
}

std::vector<PlannedServer> plannedServers(const IdlePlan& plan,
                                          const std::vector<DevServer>& servers,
                                          const ProcessSnapshot& snapshot) {
  std::vector<PlannedServer> planned;
  for (const auto& candidate : plan.stop) {
    const auto server = std::ranges::find(servers, candidate.pid, &DevServer::pid);
    const auto* record = snapshot.record(candidate.pid);
    if (server == servers.end() || record == nullptr) continue;
    PlannedServer entry{candidate, server->identity.value_or(record->identity), {}, {}, {}};
    if (const auto* repo = server->repoInfo()) {
      entry.repoPath = repo->mainRepoPath;
      entry.worktree = repo->worktreeName;
      entry.branch = repo->headText();
    }
    planned.push_back(std::move(entry));
  }
  return planned;
}

std::string stopLine(const PlannedServer& server, bool stopped) {
  const auto ports = portList(server.candidate.ports);
  return stopped ? "Freed " + ports + " and " + decimalBytes(server.candidate.footprint) + "."
                 : "Couldn't stop " + ports + ".";
}

}  // namespace glimmet
