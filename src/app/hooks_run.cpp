// The hooks commands: each selected configuration file gets its installer's
// install, uninstall or status, and the companion that the notify hooks report
// to is checked where it matters.
#include "app/hooks_run.h"

#include <functional>
#include <set>
#include <variant>

#include "core/companion/companion_lock_probe.h"
#include "core/hooks/agent_snippets.h"
#include "core/hooks/codex_notify_installer.h"
#include "core/hooks/hook_installer.h"
#include "core/util/home_path.h"
#include "platform/file_system.h"
#include "platform/paths.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using hooks::CodexNotifyInstaller;
using hooks::HookInstaller;
using hooks::HookPurpose;
using hooks::InstallOutcome;
using hooks::UninstallOutcome;

struct Target {
  HookTarget kind;
  std::variant<HookInstaller, CodexNotifyInstaller> installer;
  std::string file;  ///< as the user reads it

  std::string name() const { return std::string(hookTargetName(kind)); }
  template <typename Action>
  auto visit(Action action) const {
    return std::visit(action, installer);
  }
};

fs::path glimmetPath(const HooksRequest& request, const RunContext& context) {
  if (request.glimmet) return fs::path(*request.glimmet).lexically_normal();
  return context.executable;
}

// A hook runs from wherever the agent happens to be, so a relative path would
// run whatever is there; and a path with nothing at it would fail on every turn.
void checkUsable(const fs::path& path) {
  if (!path.is_absolute()) throw UsageError("--glimmet needs an absolute path: " + path.string());
  const auto status = platform::targetStatus(path);
  if (!status || status->kind != platform::FileStatus::Kind::file)
    throw UsageError("There's no glimmet at " + path.string() + "; name it with --glimmet.");
}

std::vector<Target> targets(const HooksRequest& request, const RunContext& context) {
  const fs::path home = platform::homeDir(context.environment);
  const std::string cli = glimmetPath(request, context).string();
  const auto claude = hooks::claudeSettingsPath(context.environment, home);
  const auto codex = hooks::codexConfigPath(context.environment, home);
  std::vector<Target> result;
  for (const HookTarget kind : selectedHookTargets(request.selection)) {
    switch (kind) {
      case HookTarget::claudeReap:
        result.push_back({kind, HookInstaller(claude, cli, HookPurpose::reapOnSessionEnd),
                          tildePath(claude.string(), home.string())});
        break;
      case HookTarget::claudeNotify:
        result.push_back({kind, HookInstaller(claude, cli, HookPurpose::notify),
                          tildePath(claude.string(), home.string())});
        break;
      case HookTarget::codexNotify:
        result.push_back(
            {kind, CodexNotifyInstaller(codex, cli), tildePath(codex.string(), home.string())});
        break;
    }
  }
  return result;
}

// Runs `each` on every target; a refusal is said once (both Claude Code kinds
// share one file, so it would otherwise read twice) and doesn't stop the rest.
// The refusal's status, or ok.
ExitStatus forEachTarget(const std::vector<Target>& all, RunContext& context,
                         const std::function<void(const Target&)>& each) {
  ExitStatus status = ExitStatus::ok;
  std::set<std::string> refusals;
  for (const auto& target : all) {
    try {
      each(target);
    } catch (const CommandFailure& failure) {
      if (refusals.insert(failure.what()).second) context.out.line(failure.what());
      status = failure.status();
    }
  }
  return status;
}

bool anyReportsAgentEvents(const std::vector<Target>& all) {
  for (const auto& target : all)
    if (reportsAgentEvents(target.kind)) return true;
  return false;
}

bool companionRunning(const RunContext& context) {
  return companionLockIsHeld(platform::sharedDataDir(context.environment));
}

std::string uninstallLine(UninstallOutcome outcome, const Target& target) {
  switch (outcome) {
    case UninstallOutcome::restoredOriginal:
      return "Removed " + target.name() + " from " + target.file +
             ": the file is back as it was before.";
    case UninstallOutcome::removedEntryOnly:
      return "Removed " + target.name() + " from " + target.file + "; your later changes are kept.";
    case UninstallOutcome::notInstalled:
      return target.name() + " isn't installed in " + target.file + ".";
  }
  return {};
}

}  // namespace

ExitStatus runHooksInstall(const HooksRequest& request, RunContext& context) {
  const fs::path cli = glimmetPath(request, context);
  checkUsable(cli);
  const auto all = targets(request, context);
  bool notifyInstalled = false;
  const auto status = forEachTarget(all, context, [&](const Target& target) {
    switch (target.visit([](const auto& installer) { return installer.install(); })) {
      case InstallOutcome::installed:
        context.out.line("Installed " + target.name() + " in " + target.file + ".");
        break;
      case InstallOutcome::alreadyInstalled:
        context.out.line("Already installed: " + target.name() + " in " + target.file + ".");
        break;
      case InstallOutcome::updated:
        context.out.line("Updated " + target.name() + " in " + target.file + ": it now runs " +
                         cli.string() + ".");
        break;
    }
    notifyInstalled = notifyInstalled || reportsAgentEvents(target.kind);
  });
  if (notifyInstalled) {
    context.out.line(companionRunning(context)
                         ? "The companion is running, so the notify hooks' events are recorded."
                         : "The notify hooks' events are recorded only while the companion "
                           "runs: start it with glimmet companion install (at every login) or "
                           "glimmet companion run.");
  }
  return status;
}

ExitStatus runHooksUninstall(const HooksRequest& request, RunContext& context) {
  return forEachTarget(targets(request, context), context, [&](const Target& target) {
    const auto outcome = target.visit([](const auto& installer) { return installer.uninstall(); });
    context.out.line(uninstallLine(outcome, target));
  });
}

ExitStatus runHooksStatus(const HooksRequest& request, RunContext& context) {
  const auto all = targets(request, context);
  const auto status = forEachTarget(all, context, [&](const Target& target) {
    std::string state = "not installed";
    if (target.visit([](const auto& installer) { return installer.isInstalled(); })) {
      const auto runs =
          target.visit([](const auto& installer) { return installer.installedPath(); });
      state = runs ? "installed, runs " + *runs : "installed";
    }
    context.out.line(target.name() + ": " + state + " (" + target.file + ")");
  });
  if (anyReportsAgentEvents(all))
    context.out.line(companionRunning(context)
                         ? "Companion: running"
                         : "Companion: not running (the notify hooks need it: glimmet "
                           "companion install, or glimmet companion run)");
  return status;
}

ExitStatus runHooksSnippet(const HooksSnippetRequest& request, RunContext& context) {
  const std::string wanted = request.agent.value_or("");  // nothing named: every agent
  bool found = false;
  for (const auto& agent : AgentSnippets::agents()) {
    if (!wanted.empty() && wanted != agent.name && wanted != agent.command) continue;
    if (found) context.out.line("");
    // The snippet is shell text of our own, printed as it is.
    context.out.write(AgentSnippets::snippet(agent));
    found = true;
  }
  if (!found)
    throw UsageError("No snippet for " + wanted + ". Known agents: Codex, Gemini CLI, Cursor.");
  return ExitStatus::ok;
}

}  // namespace glimmet
