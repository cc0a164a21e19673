// glimmet stop.
#include "cli/stop_command.h"

#include "app/stop_run.h"
#include "core/kill/duration.h"

namespace glimmet::cli {

CommandSpec Stop::spec() {
  return {
      .name = "stop",
      .abstract = "Stop dev servers that have been sitting idle.",
      .discussion =
          "Only --idle is supported. Stopping needs a yes typed at a terminal, so an assistant "
          "cannot "
          "confirm it. --json prints the plan and stops nothing.",
      .parameters =
          {
              flag("--idle", "Dev servers you own that have been up for a while.", idle),
              integerOption("--older-than", "<minutes>",
                            "Minutes a server must have been up. Default 45.", olderThan),
              flag("--json", "Print the plan as JSON and stop nothing.", json),
          },
      .validate =
          [this] {
            if (!idle) throw UsageError("glimmet stop needs --idle.");
            // Ten years of minutes at most: beyond that no server qualifies, and
            // minutes times 60 must stay a whole number of seconds in range.
            if (olderThan && (*olderThan < 0 || *olderThan > kLongestDurationMinutes))
              throw UsageError("--older-than is a number of minutes.");
          },
      .run =
          [this](CommandContext& context) {
            return runStopIdle({.olderThanMinutes = olderThan, .json = json}, context);
          },
  };
}

}  // namespace glimmet::cli
