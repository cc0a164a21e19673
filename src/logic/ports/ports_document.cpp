#include "logic/ports/ports_document.h"

#include <algorithm>

#include "core/output/text.h"

namespace glimmet {

PortsDocument PortsDocument::from(const std::vector<DevServer>& servers) {
  PortsDocument document;
  for (const auto& server : servers) {
    std::optional<std::string> project;
    if (const RepoInfo* repo = server.repoInfo()) project = repo->projectName();
    std::optional<std::string> reason;
    if (server.protection) reason = server.protection->label();
    for (const auto port : server.ports)
      document.listeners.push_back(
          {port, server.pid, server.displayName(), project, server.ownedByCurrentUser, reason});
  }
  std::stable_sort(document.listeners.begin(), document.listeners.end(),
                   [](const PortListener& a, const PortListener& b) {
                     return a.port != b.port ? a.port < b.port : a.pid < b.pid;
                   });
  return document;
}

nlohmann::json PortsDocument::toJson() const {
  auto list = nlohmann::json::array();
  for (const auto& listener : listeners) {
    nlohmann::json item = {{"port", listener.port},
                           {"pid", listener.pid},
                           {"name", listener.name},
                           {"ownedByCurrentUser", listener.ownedByCurrentUser}};
    if (listener.project) item["project"] = *listener.project;
    if (listener.protectedReason) item["protected"] = *listener.protectedReason;
    list.push_back(std::move(item));
  }
  return {{"schema", 1}, {"command", "ports"}, {"listeners", list}};
}

std::vector<std::string> PortsDocument::lines() const {
  if (listeners.empty()) return {kNoListeningPorts};
  std::vector<std::string> out;
  for (const auto& listener : listeners) {
    std::string line = padCut(":" + std::to_string(listener.port), 6) + " " +
                       padCut(pidText(listener.pid), 7) + " " + printable(listener.name);
    if (listener.project) line += "  " + printable(*listener.project);
    if (listener.protectedReason)
      line += bracketTag(*listener.protectedReason);
    else if (!listener.ownedByCurrentUser)
      line += bracketTag("owned by another user");
    out.push_back(std::move(line));
  }
  return out;
}

}  // namespace glimmet
