#include "core/ports/dev_server.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace glimmet {
namespace {

std::uint16_t lowestPort(const DevServer& server) {
  return server.ports.empty() ? 65535 : server.ports.front();
}

}  // namespace

std::vector<DevServer> DevServerList::build(const ProcessSnapshot& snapshot,
                                            const std::vector<ListeningProcess>& listening,
                                            const std::vector<ForeignListener>& foreign,
                                            const DevServerSources& sources,
                                            const std::set<pid_t>& ghostPIDs, uid_t currentUID,
                                            std::chrono::system_clock::time_point now) {
  std::vector<DevServer> servers;
  for (const auto& listener : listening) {
    const ProcessRecord* record = snapshot.record(listener.identity.pid);
    if (record == nullptr || record->identity != listener.identity) continue;
    if (record->age(now) < kMinimumAgeSeconds) continue;
    DevServer server;
    server.id = record->identity.text();
    server.identity = record->identity;
    server.pid = record->pid();
    server.ports = listener.ports;
    server.name = record->name;
    server.commandLine = record->commandLine();
    server.cwd = record->cwd;
    if (record->cwd) server.repo = sources.repoLookup(*record->cwd);
    server.startDate = record->startDate();
    server.footprint = record->footprint;
    server.ownedByCurrentUser = record->uid == currentUID;
    server.protection = sources.protection(*record, listener.ports);
    server.framework = sources.framework(*record);
    server.isGhost = ghostPIDs.contains(record->pid());
    server.ppid = record->ppid;
    server.arguments = record->argv;
    servers.push_back(std::move(server));
  }

  // Sockets whose holder couldn't be read (pid 0) may be as many processes as
  // ports, so each port is a server of its own; nothing ties them together.
  // The socket's own owner is known either way: one of the user's is not
  // another user's, it is held by a process out of sight (another pid
  // namespace, or one that came or went between the two reads).
  std::map<std::tuple<pid_t, std::uint16_t, uid_t>, DevServer> byPID;
  for (const auto& listener : foreign) {
    const bool unread = listener.pid == 0;
    auto [entry, added] = byPID.try_emplace(
        {listener.pid, unread ? listener.port : std::uint16_t{0}, unread ? listener.uid : 0});
    DevServer& server = entry->second;
    if (added) {
      server.id = "foreign-" + std::to_string(listener.pid);
      if (unread) server.id += ":" + std::to_string(listener.port);
      server.pid = listener.pid;
      server.name = listener.processName;
      server.protection =
          ProtectionReason{.kind = listener.uid == currentUID ? ProtectionReason::Kind::unseenHolder
                                                              : ProtectionReason::Kind::otherUser};
    }
    server.ports.push_back(listener.port);
  }
  for (auto& [key, server] : byPID) {
    std::sort(server.ports.begin(), server.ports.end());
    server.ports.erase(std::unique(server.ports.begin(), server.ports.end()), server.ports.end());
    servers.push_back(std::move(server));
  }

  std::stable_sort(servers.begin(), servers.end(), [](const DevServer& a, const DevServer& b) {
    if (a.isGhost != b.isGhost) return a.isGhost;
    if (lowestPort(a) != lowestPort(b)) return lowestPort(a) < lowestPort(b);
    return a.pid < b.pid;
  });
  return servers;
}

}  // namespace glimmet
