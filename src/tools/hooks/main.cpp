// glimmet-hooks: wires AI agents to glimmet by editing their own configuration
// (Claude Code hooks, the Codex notify line) and prints shell snippets for the
// others. It is a separate program so that glimmet's own commands stay as they
// are; the hook commands it writes run the glimmet installed beside it.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <optional>
#include <set>

#include "core/error.h"
#include "core/hooks/agent_snippets.h"
#include "core/hooks/codex_notify_installer.h"
#include "core/hooks/hook_installer.h"
#include "core/util/home_path.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/signals.h"

namespace {
namespace fs = std::filesystem;
using namespace glimmet;
using namespace glimmet::hooks;

struct Selection {
  bool claude = false;
  bool codex = false;
  bool reap = false;
  bool notify = false;
  std::string glimmetPath;
};

enum class Action { install, uninstall, status };

struct Target {
  std::string name;  // "Claude Code reap hook"
  std::function<bool()> isInstalled;
  std::function<InstallOutcome()> install;
  std::function<std::optional<std::string>()> installedPath;
  std::function<UninstallOutcome()> uninstall;
  fs::path file;
};

fs::path glimmetPath(const Selection& selection) {
  if (!selection.glimmetPath.empty()) return fs::path(selection.glimmetPath).lexically_normal();
  return platform::ownExecutable().parent_path() / "glimmet";
}

// A hook runs from wherever the agent happens to be, so a relative path would
// run whatever is there; and a path with nothing at it would fail on every turn.
std::optional<std::string> unusableGlimmet(const fs::path& path) {
  if (!path.is_absolute()) return "--glimmet needs an absolute path: " + path.string();
  const auto status = platform::targetStatus(path);
  if (!status || status->kind != platform::FileStatus::Kind::file)
    return "There's no glimmet at " + path.string() + "; name it with --glimmet.";
  return std::nullopt;
}

std::vector<Target> targets(const Selection& selection, const Environment& environment,
                            const fs::path& home) {
  // Nothing chosen means the Claude Code hooks: Codex gets a line only when
  // asked, so a machine without Codex never grows a ~/.codex folder.
  const bool claude = selection.claude || !selection.codex;
  const bool bothPurposes = !selection.reap && !selection.notify;
  const std::string cli = glimmetPath(selection).string();
  std::vector<Target> result;
  const auto settings = claudeSettingsPath(environment, home);
  auto addClaude = [&](HookPurpose purpose, std::string name) {
    const auto installer = std::make_shared<HookInstaller>(settings, cli, purpose);
    result.push_back({std::move(name), [installer] { return installer->isInstalled(); },
                      [installer] { return installer->install(); },
                      [installer] { return installer->installedPath(); },
                      [installer] { return installer->uninstall(); }, settings});
  };
  if (claude && (bothPurposes || selection.reap))
    addClaude(HookPurpose::reapOnSessionEnd, "Claude Code reap hook");
  if (claude && (bothPurposes || selection.notify))
    addClaude(HookPurpose::notify, "Claude Code notify hook");
  if (selection.codex) {
    const auto config = codexConfigPath(environment, home);
    const auto installer = std::make_shared<CodexNotifyInstaller>(config, cli);
    result.push_back({"Codex notify line", [installer] { return installer->isInstalled(); },
                      [installer] { return installer->install(); },
                      [installer] { return installer->installedPath(); },
                      [installer] { return installer->uninstall(); }, config});
  }
  return result;
}

std::string_view uninstallText(UninstallOutcome outcome) {
  switch (outcome) {
    case UninstallOutcome::restoredOriginal:
      return "Removed {} from {}: the file is back as it was before.";
    case UninstallOutcome::removedEntryOnly:
      return "Removed {} from {}; your later changes are kept.";
    case UninstallOutcome::notInstalled:
      return "{} isn't installed in {}.";
  }
  return "";
}

int run(Action action, const Selection& selection, const Environment& environment) {
  const fs::path home = platform::homeDir(environment);
  if (action == Action::install) {
    if (const auto problem = unusableGlimmet(glimmetPath(selection))) {
      std::cerr << "Error: " << *problem << "\n";
      return static_cast<int>(ExitStatus::usage);
    }
  }
  int status = 0;
  // Both Claude Code kinds share one file, so one refusal would read twice.
  std::set<std::string> refusals;
  for (const auto& target : targets(selection, environment, home)) {
    const std::string file = tildePath(target.file.string(), home.string());
    try {
      switch (action) {
        case Action::install:
          switch (target.install()) {
            case InstallOutcome::installed:
              std::cout << "Installed " << target.name << " in " << file << ".\n";
              break;
            case InstallOutcome::alreadyInstalled:
              std::cout << "Already installed: " << target.name << " in " << file << ".\n";
              break;
            case InstallOutcome::updated:
              std::cout << "Updated " << target.name << " in " << file << ": it now runs "
                        << glimmetPath(selection).string() << ".\n";
              break;
          }
          break;
        case Action::uninstall: {
          std::string text(uninstallText(target.uninstall()));
          const auto first = text.find("{}");
          text.replace(first, 2, target.name);
          text.replace(text.find("{}", first + target.name.size()), 2, file);
          std::cout << text << "\n";
          break;
        }
        case Action::status: {
          std::cout << target.name << ": ";
          if (!target.isInstalled())
            std::cout << "not installed";
          else if (const auto path = target.installedPath())
            std::cout << "installed, runs " << *path;
          else
            std::cout << "installed";
          std::cout << " (" << file << ")\n";
          break;
        }
      }
    } catch (const CommandFailure& failure) {
      // Each target is its own file: one refusal doesn't stop the others.
      if (refusals.insert(failure.what()).second) std::cout << failure.what() << "\n";
      status = static_cast<int>(failure.status());
    }
  }
  return status;
}

int printSnippets(const std::string& agentName) {
  bool found = false;
  for (const auto& agent : AgentSnippets::agents()) {
    if (!agentName.empty() && agentName != agent.name && agentName != agent.command) continue;
    if (found) std::cout << "\n";
    std::cout << AgentSnippets::snippet(agent);
    found = true;
  }
  if (!found) {
    std::cerr << "No snippet for " << agentName << ". Known agents: Codex, Gemini CLI, Cursor.\n";
    return static_cast<int>(ExitStatus::usage);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv, char** envp) {
  platform::ignoreBrokenPipes();
  const auto environment = Environment::fromArray(envp);

  CLI::App app{"Wire AI agents to glimmet: Claude Code hooks, the Codex notify line, snippets."};
  app.name("glimmet-hooks");
  app.require_subcommand(1);
  Selection selection;
  auto addSelection = [&](CLI::App* command) {
    command->add_flag("--claude", selection.claude, "Claude Code settings (the default)");
    command->add_flag("--codex", selection.codex, "Codex config.toml notify line");
    command->add_flag("--reap", selection.reap,
                      "Only the Claude Code hook that reaps at session end");
    command->add_flag("--notify", selection.notify, "Only the Claude Code hook that reports turns");
    command->add_option("--glimmet", selection.glimmetPath,
                        "The glimmet the hooks run (default: the one beside this program)");
  };
  auto* install = app.add_subcommand("install", "Add the hooks (nothing is added twice)");
  auto* uninstall = app.add_subcommand("uninstall", "Remove the hooks Glimmet added");
  auto* status = app.add_subcommand("status", "Show which hooks are installed");
  for (auto* command : {install, uninstall, status}) addSelection(command);
  std::string agentName;
  auto* snippet =
      app.add_subcommand("snippet", "Print the shell function for an agent without hooks");
  snippet->add_option("agent", agentName, "Codex, Gemini CLI or Cursor (default: all)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : static_cast<int>(ExitStatus::usage);
  }
  try {
    if (*snippet) return printSnippets(agentName);
    const Action action = *install     ? Action::install
                          : *uninstall ? Action::uninstall
                                       : Action::status;
    return run(action, selection, environment);
  } catch (const std::exception& error) {
    std::cout << error.what() << "\n";
    return static_cast<int>(ExitStatus::partial);
  }
}
