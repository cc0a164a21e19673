#include "app/kill_run.h"

#include <chrono>

#include "app/command_inputs.h"
#include "app/live_tree_killer.h"
#include "app/system_view.h"
#include "core/kill/kill_log.h"
#include "core/kill/kill_report_entry.h"
#include "core/process/process_enumerator.h"
#include "logic/kill/kill_outcome.h"
#include "logic/kill/kill_selection.h"

namespace glimmet {

ExitStatus runKill(const KillRequest& request, RunContext& context) {
  auto inputs = CommandInputs::load(context.environment, context.executable);
  inputs.warnings = &context.error;
  ProcessEnumerator enumerator(inputs.uid());
  const auto snapshot = enumerator.snapshot(std::chrono::system_clock::now());
  const SystemView view(inputs, snapshot);
  const auto& facts = view.facts();
  const auto selection = selectKillTarget(request.target, snapshot, facts.listening);
  const ProcessRecord& root = *selection.root;

  std::optional<std::string> repoPath;
  std::optional<RepoInfo> repo;
  if (root.cwd) {
    repo = facts.repoOf(*root.cwd).info;
    if (repo) repoPath = repo->mainRepoPath;
  }

  SystemKillClock clock;
  LiveTreeKiller live(inputs, clock);
  const auto options =
      KillOptions::make(request.grace.value_or(inputs.settings.gracePeriod), request.force);
  const auto report =
      live.killer().kill(root.identity, snapshot, selection.ports, repoPath, options);

  if (isLogged(report)) {
    KillLogContext log{.trigger = KillLogEntry::Trigger::cli,
                       .time = std::chrono::system_clock::now(),
                       .home = inputs.home.string(),
                       .repoPath = repoPath};
    if (repo) {
      log.worktree = repo->worktreeName;
      log.branch = repo->headText();
    }
    KillLog(inputs.sharedFolder, inputs.warnings)
        .appendIfPossible({killLogEntry(report, root, log)});
  }
  const auto outcome = describeKill(report, selection.target);
  context.out.line(outcome.line);
  return outcome.status;
}

}  // namespace glimmet
