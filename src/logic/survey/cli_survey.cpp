#include "logic/survey/cli_survey.h"

#include "core/ghosts/ancestry_recorder.h"
#include "core/process/process_enumerator.h"
#include "logic/survey/process_views.h"

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
  } else {
    survey.servers = devServers(inputs, view, nullptr, ghostPIDs);
  }
  return survey;
}

}  // namespace glimmet
