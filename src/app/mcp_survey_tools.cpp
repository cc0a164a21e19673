// The survey and the documents behind the MCP data tools.
#include "app/mcp_survey_tools.h"

#include <vector>

#include "app/cli_survey.h"
#include "core/output/json_writer.h"
#include "core/process/system_process_table.h"
#include "logic/agents/agents_document.h"
#include "logic/ports/ports_document.h"
#include "logic/status/status_document.h"

namespace glimmet {
namespace {

// The documents come out exactly as the commands print them, line feed included.
std::string documentText(const nlohmann::json& document) {
  return writeJson(document) + "\n";
}

}  // namespace

std::string mcpStatusText(const CommandInputs& inputs) {
  return documentText(StatusDocument::from(CLISurvey::gather(inputs)).toJson());
}

std::string mcpPortsText(const CommandInputs& inputs) {
  return documentText(PortsDocument::from(CLISurvey::gather(inputs).servers).toJson());
}

std::string mcpAgentsText(const CommandInputs& inputs) {
  auto survey = CLISurvey::gather(inputs);
  return documentText(
      AgentsDocument::from(std::move(survey.sessions), survey.ghosts, survey.snapshot.takenAt())
          .toJson());
}

std::vector<SessionRoot> sessionRoots(const Survey& survey) {
  std::vector<SessionRoot> roots;
  for (const auto& session : survey.sessions) roots.push_back({session.pid, session.agent});
  return roots;
}

SafetyView safetyView(const CommandInputs& inputs, const Survey& survey,
                      const std::vector<SessionRoot>& roots) {
  return {survey.snapshot,
          survey.servers,
          roots,
          inputs.context,
          inputs.protectedList,
          systemProcessTable(),
          inputs.signatures ? &*inputs.signatures : nullptr};
}

MCPSafetyVerdict mcpSafetyVerdict(const CommandInputs& inputs, const MCPTarget& target) {
  const auto survey = CLISurvey::gather(inputs);
  const auto roots = sessionRoots(survey);
  return SafetyGate::verdict(safetyFacts(target, safetyView(inputs, survey, roots)));
}

}  // namespace glimmet
