// The safety verdicts and the facts behind them.
#include "logic/mcp/safety_gate.h"

#include <algorithm>

namespace glimmet {
namespace {

constexpr const char* kAskFirst = "askFirst";
constexpr const char* kLeaveAlone = "leaveAlone";

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The session builder's rule: a low pid, or a name or executable of the
// platform's system table.
bool isSystemProcess(const ProcessRecord& record, const SystemProcessTable& system) {
  return record.pid() < 100 || system.holds(record.name, record.path);
}

bool isGlimmet(const ProcessRecord& record, const ProtectionContext& context) {
  if (record.pid() == context.ownPID) return true;
  if (!record.path) return false;
  if (context.ownExecutablePath && *record.path == *context.ownExecutablePath) return true;
  return context.ownBundlePath && startsWith(*record.path, *context.ownBundlePath + "/");
}

// The process's own facts; a dev server's protection already knows its ports and
// repository, so it is taken from there.
SafetyGate::Input processFacts(const ProcessRecord& record, const SafetyView& view) {
  SafetyGate::Input input{.found = true, .name = record.name};
  input.system = isSystemProcess(record, view.system);
  input.otherUser = record.uid != view.context.currentUID;
  input.glimmet = isGlimmet(record, view.context);
  if (const auto protection = protectionOf(record, {}, view))
    input.protectedReason = protection->label();
  return input;
}

// The first dev server of the survey listening on `port`, whoever owns it.
const DevServer* serverOnPort(std::int32_t port, const SafetyView& view) {
  if (port < 0 || port > 65535) return nullptr;
  const auto wanted = static_cast<std::uint16_t>(port);
  const auto server = std::find_if(view.servers.begin(), view.servers.end(), [&](const auto& s) {
    return std::find(s.ports.begin(), s.ports.end(), wanted) != s.ports.end();
  });
  return server == view.servers.end() ? nullptr : &*server;
}

std::optional<SafetyGate::Input> sessionFacts(pid_t pid, const SafetyView& view) {
  const auto session = std::find_if(view.sessions.begin(), view.sessions.end(),
                                    [&](const SessionRoot& root) { return root.pid == pid; });
  if (session == view.sessions.end()) return std::nullopt;
  SafetyGate::Input input{.found = true, .name = session->agent};
  if (const auto* record = view.snapshot.record(pid)) {
    input = processFacts(*record, view);
    input.name = session->agent;
  }
  input.isSession = true;
  return input;
}

}  // namespace

std::string MCPTarget::text() const {
  if (sessionPID) return "session " + std::to_string(*sessionPID);
  if (pid && port) return "pid " + std::to_string(*pid) + " port " + std::to_string(*port);
  if (port) return "port " + std::to_string(*port);
  if (pid) return "pid " + std::to_string(*pid);
  return "unknown";
}

MCPSafetyVerdict SafetyGate::verdict(const Input& input) {
  if (!input.found) return {kLeaveAlone, "Nothing of yours matches.", std::nullopt};
  const auto said = [&](const char* verdict, std::string reason) {
    return MCPSafetyVerdict{verdict, std::move(reason), input.name};
  };
  if (input.otherUser) return said(kLeaveAlone, "Owned by another user.");
  if (input.system) return said(kLeaveAlone, "System process. Glimmet leaves it alone.");
  if (input.glimmet) return said(kLeaveAlone, "Glimmet itself.");
  // Agents are protected by a default rule, but a live session is exactly what
  // a person may want to quit, with everything it started: they are asked.
  if (input.isSession) {
    if (input.protectedReason && input.protectedReason->find("AI agents") == std::string::npos)
      return said(kLeaveAlone, *input.protectedReason + ". Glimmet will not stop it.");
    return said(kAskFirst,
                "This is a live agent session. Glimmet will ask you before quitting it and "
                "everything it started.");
  }
  if (input.protectedReason)
    return said(kLeaveAlone, *input.protectedReason + ". Glimmet will not stop it.");
  return said(
      kAskFirst,
      "Glimmet will ask you through the companion or glimmet requests before it stops anything.");
}

SafetyGate::Input safetyFacts(const MCPTarget& target, const SafetyView& view) {
  if (target.sessionPID)
    return sessionFacts(*target.sessionPID, view).value_or(SafetyGate::Input{});
  if (target.pid) {
    if (auto session = sessionFacts(*target.pid, view)) return *session;
    const auto* record = view.snapshot.record(*target.pid);
    return record ? processFacts(*record, view) : SafetyGate::Input{};
  }
  const auto* server = target.port ? serverOnPort(*target.port, view) : nullptr;
  if (server == nullptr) return {};
  SafetyGate::Input input{.found = true, .name = server->displayName()};
  input.otherUser = !server->ownedByCurrentUser;
  if (server->protection) input.protectedReason = server->protection->label();
  if (const auto* record = view.snapshot.record(server->pid); record && server->pid > 0) {
    input.system = isSystemProcess(*record, view.system);
    input.glimmet = isGlimmet(*record, view.context);
  }
  return input;
}

const ProcessRecord* targetRecord(const MCPTarget& target, const SafetyView& view) {
  const auto isSession = [&](pid_t pid) {
    return std::any_of(view.sessions.begin(), view.sessions.end(),
                       [&](const SessionRoot& root) { return root.pid == pid; });
  };
  if (target.sessionPID)
    return isSession(*target.sessionPID) ? view.snapshot.record(*target.sessionPID) : nullptr;
  if (target.pid) return view.snapshot.record(*target.pid);
  const auto* server = target.port ? serverOnPort(*target.port, view) : nullptr;
  return server != nullptr && server->pid > 0 ? view.snapshot.record(server->pid) : nullptr;
}

const DevServer* ownServerOf(pid_t pid, const SafetyView& view) {
  const auto found = std::find_if(view.servers.begin(), view.servers.end(), [&](const auto& s) {
    return s.pid == pid && s.ownedByCurrentUser;
  });
  return found == view.servers.end() ? nullptr : &*found;
}

std::optional<ProtectionReason> protectionOf(const ProcessRecord& record,
                                             const std::vector<std::uint16_t>& ports,
                                             const SafetyView& view) {
  if (const auto* server = ownServerOf(record.pid(), view)) return server->protection;
  const auto subject = view.signatures != nullptr
                           ? protectionSubject(record, ports, std::nullopt,
                                               view.signatures->agentRoot(MatchInput::of(record)))
                           : protectionSubject(record, ports, std::nullopt);
  return checkProtection(subject, view.context, view.protectedList, view.system);
}

}  // namespace glimmet
