// glimmet agents.
#include "cli/agents_command.h"

#include "app/cli_survey.h"
#include "logic/agents/agents_document.h"

namespace glimmet::cli {

CommandSpec Agents::spec() {
  return {
      .name = "agents",
      .abstract = "List live agent sessions and the crash orphans they left behind.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run =
          [this](CommandContext& context) {
            const auto inputs = CommandInputs::load(context.environment, context.executable);
            auto survey = CLISurvey::gather(inputs);
            const auto document = AgentsDocument::from(std::move(survey.sessions), survey.ghosts,
                                                       survey.snapshot.takenAt());
            if (json)
              context.out.document(document.toJson());
            else
              for (const auto& line : document.lines()) context.out.line(line);
            return document.isEmpty() ? ExitStatus::nothingFound : ExitStatus::ok;
          },
  };
}

}  // namespace glimmet::cli
