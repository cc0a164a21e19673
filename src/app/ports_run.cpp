#include "app/ports_run.h"

#include "app/cli_survey.h"
#include "core/output/document.h"
#include "logic/ports/ports_document.h"

namespace glimmet {

ExitStatus runPorts(const ListingRequest& request, RunContext& context) {
  const auto inputs = CommandInputs::load(context.environment, context.executable);
  return printDocument(context.out, PortsDocument::from(CLISurvey::gather(inputs).servers),
                       outputFormat(request.json));
}

}  // namespace glimmet
