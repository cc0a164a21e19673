#include "logic/ports/ls_document.h"

#include <cmath>

#include "core/output/text.h"
#include "core/util/secret_masker.h"

namespace glimmet {
namespace {

nlohmann::json serverJson(const DevServer& server, std::chrono::system_clock::time_point now) {
  nlohmann::json object = {{"pid", server.pid},
                           {"ports", server.ports},
                           {"name", server.name},
                           {"memoryBytes", server.footprint},
                           {"ownedByCurrentUser", server.ownedByCurrentUser}};
  if (server.commandLine)
    object["command"] = server.arguments.empty()
                            ? SecretMasker::maskCommandLine(*server.commandLine)
                            : SecretMasker::maskedCommand(server.arguments, "");
  if (server.framework) object["framework"] = *server.framework;
  if (const RepoInfo* repo = server.repoInfo()) {
    object["repo"] = repo->repoName;
    if (repo->worktreeName) object["worktree"] = *repo->worktreeName;
    if (auto head = repo->headText()) object["branch"] = *head;
  }
  if (server.cwd) object["cwd"] = *server.cwd;
  if (server.startDate) {
    const double seconds = std::chrono::duration<double>(now - *server.startDate).count();
    object["uptimeSeconds"] = static_cast<std::int64_t>(std::floor(std::max(0.0, seconds)));
  }
  if (server.protection) object["protected"] = server.protection->label();
  return object;
}

}  // namespace

nlohmann::json LsDocument::toJson() const {
  auto list = nlohmann::json::array();
  for (const auto& entry : servers) list.push_back(serverJson(entry, now));
  return {{"schema", 1}, {"servers", list}};
}

std::vector<std::string> LsDocument::lines() const {
  if (servers.empty()) return {kNoDevServers};
  std::vector<std::string> lines;
  for (const auto& server : servers) {
    std::string line = portColumn(server.ports, 14) + " " + padCut(pidText(server.pid), 7) + " " +
                       printable(server.displayName());
    if (const RepoInfo* repo = server.repoInfo()) {
      line += "  " + printable(repo->projectName());
      if (auto head = repo->headText()) line += " (" + printable(*head) + ")";
    }
    if (server.protection) line += bracketTag(server.protection->label());
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace glimmet
