#include "app/status_run.h"

#include "app/cli_survey.h"
#include "core/output/document.h"
#include "logic/status/status_document.h"

namespace glimmet {

ExitStatus runStatus(const ListingRequest& request, RunContext& context) {
  const auto inputs = CommandInputs::load(context.environment, context.executable);
  return printDocument(context.out, StatusDocument::from(CLISurvey::gather(inputs)),
                       outputFormat(request.json));
}

}  // namespace glimmet
