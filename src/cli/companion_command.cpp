// glimmet companion run, install, uninstall and status.
#include "cli/companion_command.h"

#include "app/companion_run.h"
#include "app/companion_setup_run.h"

namespace glimmet::cli {

CommandSpec CompanionRun::spec() {
  return {
      .name = "run",
      .abstract = "Run the companion in the foreground until SIGTERM or SIGINT.",
      .discussion =
          "Records where processes came from (ancestry.json), keeps the heartbeat that notify "
          "and mcp look for, and reaps ghosts on the triggers your settings turn on. One per "
          "user.",
      .run = [](CommandContext& context) { return runCompanion({}, context); },
  };
}

CommandSpec CompanionInstall::spec() {
  return {
      .name = "install",
      .abstract = "Start the companion at login: a systemd user unit, else an autostart entry.",
      .run = [](CommandContext& context) { return runCompanionInstall({}, context); },
  };
}

CommandSpec CompanionUninstall::spec() {
  return {
      .name = "uninstall",
      .abstract = "Undo what install did.",
      .run = [](CommandContext& context) { return runCompanionUninstall({}, context); },
  };
}

CommandSpec CompanionStatus::spec() {
  return {
      .name = "status",
      .abstract = "Say whether the companion runs, and what it watches.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run =
          [this](CommandContext& context) { return runCompanionStatus({.json = json}, context); },
  };
}

CommandSpec Companion::spec() {
  return {
      .name = "companion",
      .abstract = "Record where processes came from, keep the heartbeat, and reap on schedule.",
      .subcommands = {run.spec(), install.spec(), uninstall.spec(), status.spec()},
  };
}

}  // namespace glimmet::cli
