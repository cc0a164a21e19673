// glimmet kill.
#include "cli/kill_command.h"

#include "app/kill_run.h"
#include "core/kill/kill_target.h"

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
            return runKill({.target = *parseKillTarget(target), .force = force, .grace = grace},
                           context);
          },
  };
}

}  // namespace glimmet::cli
