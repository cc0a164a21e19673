#include "logic/survey/survey.h"

#include <set>

#include "logic/survey/tracked_processes.h"

namespace glimmet {

Survey Survey::of(ProcessSnapshot snapshot, const SystemFacts& facts, const ListRules& rules,
                  const SignatureEngine* signatures, AncestryRecorder ancestry) {
  Survey survey;
  survey.snapshot = std::move(snapshot);
  survey.derive(facts, rules, signatures, std::move(ancestry));
  return survey;
}

void Survey::derive(const SystemFacts& facts, const ListRules& rules,
                    const SignatureEngine* signatures, AncestryRecorder ancestry) {
  Survey& survey = *this;
  if (signatures == nullptr) {
    survey.servers = devServers(survey.snapshot, facts, rules, nullptr, {});
    return;
  }
  GhostScanner scanner(*signatures, std::move(ancestry));
  survey.ghosts = ghostReport(survey.snapshot, facts, rules, scanner).ghosts;
  std::set<pid_t> ghostPIDs;
  for (const auto& ghost : survey.ghosts) ghostPIDs.insert(ghost.root.pid());
  survey.servers = devServers(survey.snapshot, facts, rules, &scanner.cache(), ghostPIDs);
  const auto ports = facts.portsByPID();
  const TrackingSources sources{&ports, [&](const std::string& cwd) -> std::optional<std::string> {
                                  const auto status = facts.repoOf(cwd);
                                  if (!status.info) return std::nullopt;
                                  return status.info->projectName();
                                }};
  survey.sessions = AgentSessionBuilder::build(
      trackedProcesses(survey.snapshot, scanner.cache(), scanner.recorder(), sources, rules.uid()),
      rules.uid(), survey.snapshot.takenAt(), rules.system);
}

}  // namespace glimmet
