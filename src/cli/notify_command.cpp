// glimmet notify.
#include "cli/notify_command.h"

#include <unistd.h>

#include <chrono>

#include "core/hooks/notify_recorder.h"

namespace glimmet::cli {

CommandSpec Notify::spec() {
  return {
      .name = "notify",
      .abstract = "Tell the Glimmet app an agent finished or needs approval (for agent hooks).",
      .discussion =
          "Install the hooks from Glimmet > Settings > Alerts. Claude Code sends JSON on stdin, "
          "Codex as "
          "the last argument.",
      .parameters =
          {
              requiredTextOption("--agent", "<agent>", "claude-code or codex.", agent),
              pidOption("--pid", "The agent's process ID (Claude Code hooks pass $PPID).", pid),
              optionalArgument("payload", "The event JSON (Codex passes it here).", payload),
          },
      // Agent hooks call this on every turn: whatever it is given, it says
      // nothing and succeeds. The payload is read from the standard input
      // descriptor itself, because whether that is a terminal decides whether
      // to read it at all.
      .run =
          [this](CommandContext& context) {
            recordAgentNotification({.agent = agent, .pid = pid, .payload = payload},
                                    context.environment, STDIN_FILENO,
                                    std::chrono::system_clock::now());
            return ExitStatus::ok;
          },
  };
}

}  // namespace glimmet::cli
