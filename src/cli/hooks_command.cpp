// glimmet hooks install, uninstall, status and snippet.
#include "cli/hooks_command.h"

#include "app/hooks_run.h"

namespace glimmet::cli {
namespace {

HooksRequest requestOf(const HookOptions& options) {
  return {.selection = {.claude = options.claude,
                        .codex = options.codex,
                        .reap = options.reap,
                        .notify = options.notify},
          .glimmet = options.glimmet};
}

}  // namespace

std::vector<Parameter> HookOptions::parameters() {
  return {
      flag("--claude", "Claude Code settings (the default).", claude),
      flag("--codex", "Codex config.toml notify line.", codex),
      flag("--reap", "Only the Claude Code hook that reaps at session end.", reap),
      flag("--notify", "Only the Claude Code hook that reports turns.", notify),
      textOption("--glimmet", "<path>", "The glimmet the hooks run (default: this one).", glimmet,
                 ValueKind::path),
  };
}

CommandSpec HooksInstall::spec() {
  return {
      .name = "install",
      .abstract = "Add the hooks (nothing is added twice).",
      .parameters = options.parameters(),
      .run =
          [this](CommandContext& context) { return runHooksInstall(requestOf(options), context); },
  };
}

CommandSpec HooksUninstall::spec() {
  return {
      .name = "uninstall",
      .abstract = "Remove the hooks Glimmet added.",
      .parameters = options.parameters(),
      .run =
          [this](CommandContext& context) {
            return runHooksUninstall(requestOf(options), context);
          },
  };
}

CommandSpec HooksStatus::spec() {
  return {
      .name = "status",
      .abstract = "Show which hooks are installed, and whether the companion runs.",
      .parameters = options.parameters(),
      .run =
          [this](CommandContext& context) { return runHooksStatus(requestOf(options), context); },
  };
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
