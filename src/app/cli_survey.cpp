#include "app/cli_survey.h"

#include "app/system_view.h"
#include "core/process/process_enumerator.h"

namespace glimmet {

CLISurvey CLISurvey::gather(const CommandInputs& inputs) {
  return gather(inputs, std::chrono::system_clock::now());
}

CLISurvey CLISurvey::gather(const CommandInputs& inputs,
                            std::chrono::system_clock::time_point now) {
  // The sessions match every process of the user against the signatures, which
  // read each one's executable: cheaper in the pass than opening it again.
  CLISurvey survey;
  survey.snapshot = ProcessEnumerator(inputs.uid())
                        .snapshot(now, SnapshotReads{.detailed = true,
                                                     .executables = inputs.signatures.has_value()});
  // The view reads sockets and folders of this very snapshot, so it is made
  // over the survey's own.
  const SystemView view(inputs, survey.snapshot);
  // The recorded origins matter only to ghosts and sessions, which need the signatures.
  auto ancestry =
      inputs.signatures ? AncestryRecorder::load(inputs.sharedFolder) : AncestryRecorder{};
  const auto signatures = inputs.signatures ? &*inputs.signatures : nullptr;
  survey.derive(view.facts(), inputs.rules(), signatures, std::move(ancestry));
  return survey;
}

}  // namespace glimmet
