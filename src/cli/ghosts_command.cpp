// glimmet ghosts.
#include "cli/ghosts_command.h"

#include "app/process_views.h"
#include "core/ghosts/ancestry_recorder.h"
#include "core/output/cli_output_ghosts.h"
#include "core/process/process_enumerator.h"

namespace glimmet::cli {

CommandSpec Ghosts::spec() {
  return {
      .name = "ghosts",
      .abstract = "List ghost processes left behind by AI agents.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run =
          [this](CommandContext& context) {
            const auto inputs = CommandInputs::load(context.environment, context.executable);
            if (!inputs.signatures) {
              // Standard output stays empty (no half document); the reason goes
              // where a person or a script's log will see it.
              context.error << kSignaturesMissingMessage << '\n';
              return ExitStatus::cannotStart;
            }
            ProcessEnumerator enumerator(inputs.uid());
            const auto snapshot = enumerator.snapshot(std::chrono::system_clock::now());
            SystemView view(inputs, snapshot);
            GhostScanner scanner(*inputs.signatures, AncestryRecorder::load(inputs.sharedFolder));
            const auto report = ghostReport(inputs, view, scanner);
            if (json) {
              context.out.document(CLIOutput::ghosts(report.ghosts, snapshot.takenAt()));
              return ExitStatus::ok;
            }
            if (report.ghosts.empty()) {
              context.out.line(CLIOutput::kNoGhosts);
              return ExitStatus::nothingFound;
            }
            for (const auto& line : CLIOutput::ghostLines(report.ghosts)) context.out.line(line);
            return ExitStatus::ok;
          },
  };
}

}  // namespace glimmet::cli
