#include "logic/kill/kill_run.h"

#include <chrono>

#include "app/process_views.h"
#include "core/kill/kill_report_entry.h"
#include "core/output/byte_format.h"
#include "core/output/text.h"
#include "core/process/process_enumerator.h"
#include "logic/kill/live_tree_killer.h"

namespace glimmet {
namespace {

// The first of the user's listeners, in the scanner's order, that holds `port`.
const ListeningProcess* listenerOn(const std::vector<ListeningProcess>& listening,
                                   std::uint16_t port) {
  for (const auto& listener : listening)
    if (std::ranges::find(listener.ports, port) != listener.ports.end()) return &listener;
  return nullptr;
}

}  // namespace

KillOutcome describeKill(const KillReport& report, const std::string& target) {
  switch (report.status) {
    case KillReport::Status::done:
      return {
          "Freed " + target + " and " + memoryStyleBytes(report.freedBytes) +
              (report.neededSIGKILLAfterSIGTERM() ? " (SIGTERM was ignored, SIGKILL used)" : "") +
              ".",
          ExitStatus::ok};
    case KillReport::Status::partial:
      return {"Couldn't stop everything in " + target + ".",
              report.anyNotPermitted() ? ExitStatus::cannotStart : ExitStatus::partial};
    case KillReport::Status::refused:
      break;
  }
  const SkipReason reason = report.refusal.value_or(SkipReason::of(SkipReason::Kind::gone));
  return {"Couldn't stop " + target + ": " + reason.text() + ".",
          reason.alreadyStopped() ? ExitStatus::nothingFound : ExitStatus::cannotStart};
}

KillOutcome runKill(const CommandInputs& inputs, const KillRequest& request) {
  ProcessEnumerator enumerator(inputs.uid());
  const auto snapshot = enumerator.snapshot(std::chrono::system_clock::now());
  SystemView view(inputs, snapshot);

  const ProcessRecord* root = nullptr;
  std::string target;
  if (const auto* port = std::get_if<PortTarget>(&request.target)) {
    const auto* listener = listenerOn(view.listening(), port->port);
    if (listener == nullptr) {
      throw CommandFailure("Nothing of yours is listening on :" + std::to_string(port->port) + ".",
                           ExitStatus::nothingFound);
    }
    root = snapshot.record(listener->identity.pid);
    target = portList(listener->ports);
  } else {
    const pid_t pid = std::get<PidTarget>(request.target).pid;
    root = snapshot.record(pid);
    target = "PID " + std::to_string(pid);
  }
  if (root == nullptr) {
    throw CommandFailure(
        "No process with PID " + std::to_string(std::get<PidTarget>(request.target).pid) + ".",
        ExitStatus::nothingFound);
  }

  const auto portsByPid = view.portsByPid();
  const auto heldPorts = portsByPid.find(root->pid());
  const std::vector<std::uint16_t> ports =
      heldPorts == portsByPid.end() ? std::vector<std::uint16_t>{} : heldPorts->second;
  std::optional<std::string> repoPath;
  std::optional<RepoInfo> repo;
  if (root->cwd) {
    repo = view.repos().resolve(*root->cwd, snapshot.takenAt()).info;
    if (repo) repoPath = repo->mainRepoPath;
  }

  SystemKillClock clock;
  LiveTreeKiller live(inputs, clock);
  const auto options =
      KillOptions::make(request.grace.value_or(inputs.settings.gracePeriod), request.force);
  const auto report = live.killer().kill(root->identity, snapshot, ports, repoPath, options);

  // A target that was gone by the time we looked stopped without us: nothing to log.
  if (!(report.status == KillReport::Status::refused && report.refusal &&
        report.refusal->alreadyStopped())) {
    KillLogContext log{.trigger = KillLogEntry::Trigger::cli,
                       .time = std::chrono::system_clock::now(),
                       .home = inputs.home.string(),
                       .repoPath = repoPath};
    if (repo) {
      log.worktree = repo->worktreeName;
      log.branch = repo->headText();
    }
    KillLog(inputs.sharedFolder, inputs.warnings)
        .appendIfPossible({killLogEntry(report, *root, log)});
  }
  return describeKill(report, target);
}

}  // namespace glimmet
