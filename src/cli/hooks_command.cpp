// glimmet hooks install, uninstall, status and snippet.
#include "cli/hooks_command.h"

#include "app/hooks_run.h"

namespace glimmet::cli {

CommandSpec HookOptions::command(std::string name, std::string abstract,
                                 ExitStatus (*run)(const HooksRequest&, RunContext&)) {
  return {
      .name = std::move(name),
      .abstract = std::move(abstract),
      .parameters = parameters(),
      .run = [this, run](CommandContext& context) { return run(request, context); },
  };
}

std::vector<Parameter> HookOptions::parameters() {
  return {
      flag("--claude", "Claude Code settings (the default).", request.selection.claude),
      flag("--codex", "Codex config.toml notify line.", request.selection.codex),
      flag("--reap", "Only the Claude Code hook that reaps at session end.",
           request.selection.reap),
      flag("--notify", "Only the Claude Code hook that reports turns.", request.selection.notify),
      textOption("--glimmet", "<path>", "The glimmet the hooks run (default: this one).",
                 request.glimmet, ValueKind::path),
  };
}

CommandSpec HooksInstall::spec() {
  return options.command("install", "Add the hooks (nothing is added twice).", runHooksInstall);
}

CommandSpec HooksUninstall::spec() {
  return options.command("uninstall", "Remove the hooks Glimmet added.", runHooksUninstall);
}

CommandSpec HooksStatus::spec() {
  return options.command(
      "status", "Show which hooks are installed, and whether the companion runs.", runHooksStatus);
}

CommandSpec HooksSnippet::spec() {
  return {
      .name = "snippet",
      .abstract = "Print the shell function for an agent without hooks.",
      .parameters = {optionalArgument("agent", "Codex, Gemini CLI or Cursor (default: all).",
                                      agent)},
      .run = [this](CommandContext& context) { return runHooksSnippet({.agent = agent}, context); },
  };
}

CommandSpec Hooks::spec() {
  return {
      .name = "hooks",
      .abstract = "Wire AI agents to glimmet: Claude Code hooks, the Codex notify line, snippets.",
      .subcommands = {install.spec(), uninstall.spec(), status.spec(), snippet.spec()},
  };
}

}  // namespace glimmet::cli
