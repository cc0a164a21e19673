#include "logic/status/status_document.h"

#include <algorithm>
#include <set>

#include "core/output/text.h"
#include "logic/status/stop_summary.h"

namespace glimmet {

Freeable Freeable::of(const std::vector<Ghost>& ghosts, const std::vector<DevServer>& servers) {
  Freeable freeable;
  std::set<pid_t> ghostPIDs;
  for (const auto& ghost : ghosts) {
    ghostPIDs.insert(ghost.root.pid());
    freeable.bytes += ghost.footprint;
    freeable.ports.insert(freeable.ports.end(), ghost.ports.begin(), ghost.ports.end());
  }
  for (const auto& server : servers) {
    // Without a start time the process can't be told from a later one with its pid.
    const bool stoppable = server.ownedByCurrentUser && !server.protection && server.identity &&
                           server.identity->startTime != 0 && !ghostPIDs.contains(server.pid);
    if (!stoppable) continue;
    freeable.bytes += server.footprint;
    freeable.ports.insert(freeable.ports.end(), server.ports.begin(), server.ports.end());
  }
  return freeable;
}

StatusDocument StatusDocument::build(std::uint64_t ghostCount, std::uint64_t devServerCount,
                                     std::uint64_t sessionCount, std::uint64_t freedBytes,
                                     std::vector<std::uint16_t> freedPorts) {
  std::sort(freedPorts.begin(), freedPorts.end());
  freedPorts.erase(std::unique(freedPorts.begin(), freedPorts.end()), freedPorts.end());
  auto summary = stopSummary(freedBytes, freedPorts);
  return {ghostCount, devServerCount,        sessionCount,
          freedBytes, std::move(freedPorts), summary.value_or(kNothingToStop)};
}

StatusDocument StatusDocument::from(const Survey& survey) {
  const auto ownServers =
      std::count_if(survey.servers.begin(), survey.servers.end(),
                    [](const DevServer& server) { return server.ownedByCurrentUser; });
  auto freeable = Freeable::of(survey.ghosts, survey.servers);
  return build(survey.ghosts.size(), static_cast<std::uint64_t>(ownServers), survey.sessions.size(),
               freeable.bytes, std::move(freeable.ports));
}

nlohmann::json StatusDocument::toJson() const {
  auto portList = nlohmann::json::array();
  for (const auto port : ports) portList.push_back(port);
  return {{"schema", 1},
          {"command", "status"},
          {"ghosts", ghosts},
          {"devServers", devServers},
          {"agentSessions", agentSessions},
          {"memoryBytes", memoryBytes},
          {"ports", std::move(portList)},
          {"summary", summary}};
}

std::vector<std::string> StatusDocument::lines() const {
  return {countedNoun(ghosts, "ghost") + ", " + countedNoun(devServers, "dev server") + ", " +
              countedNoun(agentSessions, "agent session"),
          summary};
}

}  // namespace glimmet
