// Live operations behind the MCP tools.
#include "logic/mcp/mcp_live.h"

#include <chrono>

#include "app/cli_survey.h"
#include "core/output/json_writer.h"
#include "core/settings/glimmet_settings.h"
#include "core/util/random_uuid.h"
#include "logic/agents/agents_document.h"
#include "logic/agents/application_heartbeat.h"
#include "logic/mcp/mcp_records.h"
#include "logic/ports/ports_document.h"
#include "logic/status/status_document.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace glimmet {
namespace {

// The documents come out exactly as the commands print them, line feed included.
std::string documentText(const nlohmann::json& document) {
  return writeJson(document) + "\n";
}

}  // namespace

void MCPLogNotice::lockWasHeld() {
  if (said_) return;
  said_ = true;
  warnings_ << "Couldn't add to the MCP call log: another program kept it locked.\n" << std::flush;
}

MCPServer liveMCPServer(const Environment& environment, const std::filesystem::path& executable,
                        MCPLogNotice& notice) {
  const auto folder = platform::sharedDataDir(environment);
  const JSONStore store(folder);
  const auto now = std::chrono::system_clock::now();
  MCPServer server;
  server.enabled = GlimmetSettings::load(store).mcp.enabled;
  server.appRunning = applicationIsRunning(store, now);
  const auto inputs = [&environment, executable] {
    return CommandInputs::load(environment, executable);
  };
  server.status = [inputs] {
    return documentText(StatusDocument::from(CLISurvey::gather(inputs())).toJson());
  };
  server.agents = [inputs] {
    auto survey = CLISurvey::gather(inputs());
    return documentText(
        AgentsDocument::from(std::move(survey.sessions), survey.ghosts, survey.snapshot.takenAt())
            .toJson());
  };
  server.ports = [inputs] {
    return documentText(PortsDocument::from(CLISurvey::gather(inputs()).servers).toJson());
  };
  server.safety = [inputs](const MCPTarget& target) {
    const auto loaded = inputs();
    const auto survey = CLISurvey::gather(loaded);
    std::vector<SessionRoot> sessions;
    for (const auto& session : survey.sessions) sessions.push_back({session.pid, session.agent});
    const SafetyView view{survey.snapshot,
                          survey.servers,
                          sessions,
                          loaded.context,
                          loaded.protectedList,
                          platform::systemProcessTable(),
                          loaded.signatures ? &*loaded.signatures : nullptr};
    return SafetyGate::verdict(safetyFacts(target, view));
  };
  server.requestQuit = [folder](const MCPQuitRequest& request) { addToMCPInbox(folder, request); };
  server.log = [folder, &notice](const MCPLogEntry& entry) {
    try {
      appendMCPLog(folder, entry);
    } catch (const platform::LockTimeout&) {
      notice.lockWasHeld();
      throw;
    }
  };
  server.now = [] { return std::chrono::system_clock::now(); };
  server.newRequestId = randomUuid;
  return server;
}

}  // namespace glimmet
