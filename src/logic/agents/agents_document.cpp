#include "logic/agents/agents_document.h"

#include "core/output/byte_format.h"
#include "core/output/text.h"
#include "core/util/secret_masker.h"

namespace glimmet {
namespace {

std::int64_t uptimeSeconds(std::chrono::system_clock::time_point start,
                           std::chrono::system_clock::time_point now) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - start).count();
  return seconds < 0 ? 0 : seconds;
}

nlohmann::json portArray(const std::vector<std::uint16_t>& ports) {
  auto out = nlohmann::json::array();
  for (const auto port : ports) out.push_back(port);
  return out;
}

nlohmann::json sessionJson(const AgentSession& session, std::chrono::system_clock::time_point now) {
  auto started = nlohmann::json::array();
  for (const auto& child : session.children)
    started.push_back({{"pid", child.pid},
                       {"name", child.name},
                       {"kind", rawValue(child.kind)},
                       {"ports", portArray(child.ports)},
                       {"memoryBytes", child.footprint}});
  nlohmann::json out = {{"pid", session.pid},
                        {"agent", session.agent},
                        {"activity", rawValue(session.activity)},
                        {"uptimeSeconds", uptimeSeconds(session.start, now)},
                        {"memoryBytes", session.footprint},
                        {"ports", portArray(session.ports)},
                        {"started", std::move(started)}};
  if (session.project) out["project"] = *session.project;
  return out;
}

}  // namespace

LeftBehind LeftBehind::of(const Ghost& ghost) {
  return {ghost.root.pid(), SecretMasker::maskedCommand(ghost.root.argv, ghost.root.name),
          ghost.origin.fullLabel(), ghost.footprint, ghost.ports};
}

AgentsDocument AgentsDocument::from(std::vector<AgentSession> sessions,
                                    const std::vector<Ghost>& ghosts,
                                    std::chrono::system_clock::time_point now) {
  AgentsDocument document{std::move(sessions), {}, now};
  for (const auto& ghost : ghosts) document.leftBehind.push_back(LeftBehind::of(ghost));
  return document;
}

nlohmann::json AgentsDocument::toJson() const {
  auto sessionList = nlohmann::json::array();
  for (const auto& session : sessions) sessionList.push_back(sessionJson(session, now));
  auto leftList = nlohmann::json::array();
  for (const auto& entry : leftBehind)
    leftList.push_back({{"pid", entry.pid},
                        {"command", entry.command},
                        {"origin", entry.origin},
                        {"memoryBytes", entry.memoryBytes},
                        {"ports", portArray(entry.ports)}});
  return {{"schema", 1},
          {"command", "agents"},
          {"sessions", std::move(sessionList)},
          {"leftBehind", std::move(leftList)}};
}

std::vector<std::string> AgentsDocument::lines() const {
  if (isEmpty()) return {kNoAgentSessionsOrLeftovers};
  std::vector<std::string> out;
  if (sessions.empty()) out.emplace_back(kNoLiveAgentSessions);
  for (const auto& session : sessions) {
    out.push_back(printable(session.agent) + "  pid " + std::to_string(session.pid) + "  " +
                  printable(session.project.value_or("no project")) + "  " +
                  std::string(rawValue(session.activity)) + "  " + decimalBytes(session.footprint));
    // The separator before the ports stays even when there are none, so every
    // child line has the same three fields.
    for (const auto& child : session.children)
      out.push_back("  " + printable(child.name) + "  " + std::string(rawValue(child.kind)) + "  " +
                    portList(child.ports));
    if (session.children.empty()) out.emplace_back("  nothing else yet");
  }
  if (!leftBehind.empty()) {
    out.emplace_back("Left behind");
    for (const auto& entry : leftBehind)
      out.push_back("  pid " + std::to_string(entry.pid) + "  " + printable(entry.command) + "  " +
                    printable(entry.origin));
  }
  return out;
}

}  // namespace glimmet
