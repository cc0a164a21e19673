// glimmet ports.
#include "cli/ports_command.h"

#include "app/cli_survey.h"
#include "logic/ports/ports_document.h"

namespace glimmet::cli {

CommandSpec Ports::spec() {
  return {
      .name = "ports",
      .abstract = "Show what is listening, including ports owned by another user.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run =
          [this](CommandContext& context) {
            const auto inputs = CommandInputs::load(context.environment, context.executable);
            const auto document = PortsDocument::from(CLISurvey::gather(inputs).servers);
            if (json) {
              context.out.document(document.toJson());
              return document.listeners.empty() ? ExitStatus::nothingFound : ExitStatus::ok;
            }
            if (document.listeners.empty()) {
              context.out.line(kNoListeningPorts);
              return ExitStatus::nothingFound;
            }
            for (const auto& line : document.lines()) context.out.line(line);
            return ExitStatus::ok;
          },
  };
}

}  // namespace glimmet::cli
