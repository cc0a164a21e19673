// glimmet ls.
#include "cli/ls_command.h"

#include "app/process_views.h"
#include "core/ghosts/match_cache.h"
#include "core/output/cli_output_ls.h"
#include "core/process/process_enumerator.h"

namespace glimmet::cli {

CommandSpec List::spec() {
  return {
      .name = "ls",
      .abstract = "List dev servers and the ports they hold.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run =
          [this](CommandContext& context) {
            const auto inputs = CommandInputs::load(context.environment, context.executable);
            ProcessEnumerator enumerator(inputs.uid());
            const auto snapshot = enumerator.snapshot(std::chrono::system_clock::now());
            SystemView view(inputs, snapshot);
            std::optional<MatchCache> cache;
            if (inputs.signatures) cache.emplace(*inputs.signatures);
            const auto servers = devServers(inputs, view, cache ? &*cache : nullptr, {});
            if (json) {
              context.out.document(CLIOutput::ls(servers, snapshot.takenAt()));
              return ExitStatus::ok;
            }
            if (servers.empty()) {
              context.out.line(CLIOutput::kNoDevServers);
              return ExitStatus::nothingFound;
            }
            for (const auto& line : CLIOutput::lsLines(servers)) context.out.line(line);
            return ExitStatus::ok;
          },
  };
}

}  // namespace glimmet::cli
