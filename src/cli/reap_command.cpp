// glimmet reap.
#include "cli/reap_command.h"

#include "app/reap_run.h"
#include "core/kill/duration.h"

namespace glimmet::cli {

CommandSpec Reap::spec() {
  return {
      .name = "reap",
      .abstract = "Kill ghost processes left behind by AI agents.",
      .discussion =
          "Only exact origins are reaped unless your Glimmet settings allow likely ones. "
          "Protected processes are never touched.",
      .parameters =
          {
              flag("--dry-run", "List what would be reaped without killing anything.", dryRun),
              textOption("--older-than", "<duration>",
                         "Only ghosts older than this, like 6h, 30m or 0.", olderThan),
              pidOption("--session",
                        "Only ghosts whose recorded origin is this agent session (a PID at or "
                        "below the agent).",
                        session),
              flag("--after-exit",
                   "Wait for the session to exit, then the grace period, before reaping (for "
                   "session-end hooks).",
                   afterExit),
              textOption("--agent", "<agent>", "Only ghosts from this agent, for example Codex.",
                         agent),
              flag("--include-dev-servers", "Also reap orphaned dev servers.", includeDevServers),
              flag("--quiet", "Print nothing.", quiet),
          },
      // The --after-exit rule is checked first, so it wins over a bad duration.
      .validate =
          [this] {
            if (afterExit && !session) throw UsageError("--after-exit needs --session.");
            if (olderThan && !parseDuration(*olderThan))
              throw UsageError("Use a duration like 6h, 30m, 90s or 0.");
          },
      .run =
          [this](CommandContext& context) {
            const ReapRequest request{
                .dryRun = dryRun,
                .olderThan = olderThan ? parseDuration(*olderThan) : std::nullopt,
                .session = session ? std::optional<pid_t>(*session) : std::nullopt,
                .afterExit = afterExit,
                .agent = agent,
                .includeDevServers = includeDevServers,
                .quiet = quiet};
            return runReap(request, context);
          },
  };
}

}  // namespace glimmet::cli
