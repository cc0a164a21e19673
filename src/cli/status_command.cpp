// glimmet status.
#include "cli/status_command.h"

#include "app/cli_survey.h"
#include "logic/status/status_document.h"

namespace glimmet::cli {

CommandSpec Status::spec() {
  return {
      .name = "status",
      .abstract = "Summarise ghosts, dev servers and live agent sessions.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run =
          [this](CommandContext& context) {
            const auto inputs = CommandInputs::load(context.environment, context.executable);
            const auto document = StatusDocument::from(CLISurvey::gather(inputs));
            // A script reads the counts from the document, whatever they are.
            if (json) {
              context.out.document(document.toJson());
              return ExitStatus::ok;
            }
            for (const auto& line : document.lines()) context.out.line(line);
            return document.isEmpty() ? ExitStatus::nothingFound : ExitStatus::ok;
          },
  };
}

}  // namespace glimmet::cli
