#include "app/ls_run.h"

#include <chrono>
#include <optional>

#include "app/command_inputs.h"
#include "app/system_view.h"
#include "core/ghosts/match_cache.h"
#include "core/output/document.h"
#include "core/process/process_enumerator.h"
#include "logic/ports/ls_document.h"
#include "logic/survey/process_lists.h"

namespace glimmet {

ExitStatus runLs(const ListingRequest& request, RunContext& context) {
  const auto inputs = CommandInputs::load(context.environment, context.executable);
  ProcessEnumerator enumerator(inputs.uid());
  const auto snapshot = enumerator.snapshot(std::chrono::system_clock::now());
  const SystemView view(inputs, snapshot);
  // ls needs no ghosts: the signatures only name frameworks and agents here.
  std::optional<MatchCache> cache;
  if (inputs.signatures) cache.emplace(*inputs.signatures);
  const LsDocument document{
      devServers(snapshot, view.facts(), inputs.rules(), cache ? &*cache : nullptr, {}),
      snapshot.takenAt()};
  return printDocument(context.out, document, outputFormat(request.json));
}

}  // namespace glimmet
