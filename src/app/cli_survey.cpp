#include "app/cli_survey.h"

#include "app/process_views.h"
#include "core/ghosts/ancestry_recorder.h"
#include "core/process/process_enumerator.h"
#include "logic/survey/tracked_processes.h"

namespace glimmet {

CLISurvey CLISurvey::gather(const CommandInputs& inputs) {
  CLISurvey survey;
  ProcessEnumerator enumerator(inputs.uid());
  survey.snapshot = enumerator.snapshot(std::chrono::system_clock::now(), /*detailed=*/true);
  SystemView view(inputs, survey.snapshot);
  std::set<pid_t> ghostPIDs;
  if (inputs.signatures) {
    GhostScanner scanner(*inputs.signatures, AncestryRecorder::load(inputs.sharedFolder));
    survey.ghosts = ghostReport(inputs, view, scanner).ghosts;
    for (const auto& ghost : survey.ghosts) ghostPIDs.insert(ghost.root.pid());
    survey.servers = devServers(inputs, view, &scanner.cache(), ghostPIDs);
    const auto ports = view.portsByPid();
    const auto now = survey.snapshot.takenAt();
    TrackingSources sources{&ports, [&](const std::string& cwd) -> std::optional<std::string> {
                              const auto status = view.repos().resolve(cwd, now);
                              if (!status.info) return std::nullopt;
                              return status.info->projectName();
                            }};
    survey.sessions =
        AgentSessionBuilder::build(trackedProcesses(survey.snapshot, scanner.cache(),
                                                    scanner.recorder(), sources, inputs.uid()),
                                   inputs.uid(), now);
  } else {
    survey.servers = devServers(inputs, view, nullptr, ghostPIDs);
  }
  return survey;
}

}  // namespace glimmet
