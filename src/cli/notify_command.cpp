// glimmet notify.
#include "cli/notify_command.h"

namespace glimmet::cli {

CommandSpec Notify::spec() {
  return {
      .name = "notify",
      .abstract = "Tell the companion an agent finished or needs approval (for agent hooks).",
      .discussion =
          "Install the hooks with glimmet hooks install. The alerts show while the companion runs. "
          "Claude Code sends JSON on stdin, Codex as the last argument.",
      .parameters =
          {
              requiredTextOption("--agent", "<agent>", "claude-code or codex.", request.agent),
              pidOption("--pid", "The agent's process ID (Claude Code hooks pass $PPID).",
                        request.pid),
              optionalArgument("payload", "The event JSON (Codex passes it here).",
                               request.payload),
          },
      // Agent hooks call this on every turn: whatever it is given, it says
      // nothing and succeeds.
      .run = [this](CommandContext& context) { return runNotify(request, context); },
  };
}

}  // namespace glimmet::cli
