#include "app/cli_survey.h"

#include "app/system_view.h"
#include "core/process/process_enumerator.h"

namespace glimmet {

CLISurvey CLISurvey::gather(const CommandInputs& inputs) {
  return gather(inputs, std::chrono::system_clock::now());
}

CLISurvey CLISurvey::gather(const CommandInputs& inputs,
                            std::chrono::system_clock::time_point now) {
  auto snapshot = ProcessEnumerator(inputs.uid()).snapshot(now, /*detailed=*/true);
  const SystemView view(inputs, snapshot);
  // The recorded origins matter only to ghosts and sessions, which need the signatures.
  auto ancestry =
      inputs.signatures ? AncestryRecorder::load(inputs.sharedFolder) : AncestryRecorder{};
  const auto signatures = inputs.signatures ? &*inputs.signatures : nullptr;
  return {Survey::of(std::move(snapshot), view.facts(), inputs.rules(), signatures,
                     std::move(ancestry))};
}

}  // namespace glimmet
