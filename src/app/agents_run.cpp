#include "app/agents_run.h"

#include "app/cli_survey.h"
#include "core/output/document.h"
#include "logic/agents/agents_document.h"

namespace glimmet {

ExitStatus runAgents(const ListingRequest& request, RunContext& context) {
  const auto inputs = CommandInputs::load(context.environment, context.executable);
  auto survey = CLISurvey::gather(inputs);
  const auto document =
      AgentsDocument::from(std::move(survey.sessions), survey.ghosts, survey.snapshot.takenAt());
  return printDocument(context.out, document, outputFormat(request.json));
}

}  // namespace glimmet
