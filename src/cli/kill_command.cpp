// glimmet kill.
#include "cli/kill_command.h"

#include "core/kill/kill_target.h"
#include "logic/kill/kill_run.h"

namespace glimmet::cli {

CommandSpec Kill::spec() {
  return {
      .name = "kill",
      .abstract = "Kill a process tree by port (:3000) or PID.",
      .parameters =
          {
              argument("target", "A port like :3000, or a PID.", target),
              flag("--force", "Send SIGKILL right away instead of SIGTERM first.", force),
              secondsOption("--grace", "Seconds to wait after SIGTERM before SIGKILL (1 to 15).",
                            grace),
          },
      .validate =
          [this] {
            if (!parseKillTarget(target)) throw UsageError("Use a port like :3000 or a PID.");
          },
      .run =
          [this](CommandContext& context) {
            auto inputs = CommandInputs::load(context.environment, context.executable);
            inputs.warnings = &context.error;
            const auto outcome = runKill(
                inputs, {.target = *parseKillTarget(target), .force = force, .grace = grace});
            context.out.line(outcome.line);
            return outcome.status;
          },
  };
}

}  // namespace glimmet::cli
