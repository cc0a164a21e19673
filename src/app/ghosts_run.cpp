#include "app/ghosts_run.h"

#include <chrono>

#include "app/command_inputs.h"
#include "app/system_view.h"
#include "core/ghosts/ancestry_recorder.h"
#include "core/output/document.h"
#include "core/process/process_enumerator.h"
#include "logic/ghosts/ghosts_document.h"
#include "logic/survey/process_lists.h"

namespace glimmet {

ExitStatus runGhosts(const ListingRequest& request, RunContext& context) {
  const auto inputs = CommandInputs::load(context.environment, context.executable);
  if (!inputs.signatures) {
    // Standard output stays empty (no half document); the reason goes where a
    // person or a script's log will see it.
    context.error << kSignaturesMissingMessage << '\n';
    return ExitStatus::cannotStart;
  }
  ProcessEnumerator enumerator(inputs.uid());
  const auto snapshot = enumerator.snapshot(std::chrono::system_clock::now());
  const SystemView view(inputs, snapshot);
  GhostScanner scanner(*inputs.signatures, AncestryRecorder::load(inputs.sharedFolder));
  const GhostsDocument document{ghostReport(snapshot, view.facts(), inputs.rules(), scanner).ghosts,
                                snapshot.takenAt()};
  return printDocument(context.out, document, outputFormat(request.json));
}

}  // namespace glimmet
