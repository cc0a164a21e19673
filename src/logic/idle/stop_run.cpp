#include "logic/idle/stop_run.h"

#include <chrono>

#include "app/cli_survey.h"
#include "core/kill/kill_clock.h"
#include "core/kill/kill_log.h"
#include "core/kill/kill_report_entry.h"
#include "core/output/byte_format.h"
#include "core/output/text.h"
#include "core/process/process_enumerator.h"
#include "logic/kill/live_tree_killer.h"

namespace glimmet {
namespace {

constexpr const char* kQuestion = "Stop them? Type yes: ";

struct PlannedServer {
  IdleCandidate candidate;
  ProcessIdentity identity;
  std::optional<std::string> repoPath;
  std::optional<std::string> worktree;
  std::optional<std::string> branch;
};

// The survey's facts about each planned server that the killer and the log need
// but the plan does not show.
std::vector<PlannedServer> plannedServers(const IdlePlan& plan, const CLISurvey& survey) {
  std::vector<PlannedServer> planned;
  for (const auto& candidate : plan.stop) {
    const auto server = std::ranges::find(survey.servers, candidate.pid, &DevServer::pid);
    const auto* record = survey.snapshot.record(candidate.pid);
    if (server == survey.servers.end() || record == nullptr) continue;
    PlannedServer entry{candidate, server->identity.value_or(record->identity), {}, {}, {}};
    if (const auto* repo = server->repoInfo()) {
      entry.repoPath = repo->mainRepoPath;
      entry.worktree = repo->worktreeName;
      entry.branch = repo->headText();
    }
    planned.push_back(std::move(entry));
  }
  return planned;
}

// Stops one server's tree. The yes may come minutes after the survey, so the
// killer works from a snapshot taken now: children started since are part of the
// tree, and a server that exited (or whose pid was reused) is refused as gone.
bool stopServer(const PlannedServer& server, const ProcessSnapshot& now, TreeKiller& killer,
                const CommandInputs& inputs, const KillLog& killLog) {
  const auto report = killer.kill(server.identity, now, server.candidate.ports, server.repoPath,
                                  KillOptions::make(inputs.settings.gracePeriod));
  const auto* root = now.record(server.identity.pid);
  if (root != nullptr && root->identity == server.identity) {
    const KillLogContext log{.trigger = KillLogEntry::Trigger::cli,
                             .time = std::chrono::system_clock::now(),
                             .home = inputs.home.string(),
                             .origin = std::nullopt,
                             .repoPath = server.repoPath,
                             .rule = std::nullopt,
                             .cpuPercent = std::nullopt,
                             .worktree = server.worktree,
                             .branch = server.branch};
    killLog.appendIfPossible({killLogEntry(report, *root, log)});
  }
  return report.status == KillReport::Status::done;
}

}  // namespace

ExitStatus runStopIdle(const CommandInputs& inputs, const StopIdleRequest& request, Output& out,
                       const StopConfirmer& confirm) {
  const auto survey = CLISurvey::gather(inputs);
  const double minimumAge = IdlePlan::minimumAge(request.olderThanMinutes);
  std::vector<IdleCandidate> candidates;
  for (const auto& server : survey.servers)
    candidates.push_back(IdleCandidate::of(server, survey.snapshot.takenAt()));
  const auto plan = IdlePlan::make(std::move(candidates), minimumAge);

  if (request.json) {
    out.document(plan.document(minimumAge));
    return plan.stop.empty() ? ExitStatus::nothingFound : ExitStatus::ok;
  }
  if (plan.stop.empty()) {
    out.line(plan.skipped.empty() ? "No idle dev servers."
                                  : "No idle dev servers that Glimmet is allowed to stop.");
    return ExitStatus::nothingFound;
  }

  for (const auto& line : plan.lines(minimumAge)) out.line(printable(line));
  out.write(kQuestion);
  switch (confirm()) {
    case StopConfirm::needsTTY:
      // Nobody typed the line break that ends the question, so end it here.
      out.line("");
      out.line("stop needs a yes typed at a terminal. An assistant can't confirm this.");
      return ExitStatus::cannotStart;
    case StopConfirm::declined:
      out.line("Nothing stopped.");
      return ExitStatus::nothingFound;
    case StopConfirm::proceed:
      break;
  }

  const auto planned = plannedServers(plan, survey);
  SystemKillClock clock;
  LiveTreeKiller live(inputs, clock);
  ProcessEnumerator enumerator(inputs.uid());
  const KillLog killLog(inputs.sharedFolder, inputs.warnings);
  bool allStopped = planned.size() == plan.stop.size();
  for (const auto& server : planned) {
    const auto now = enumerator.snapshot(std::chrono::system_clock::now());
    const auto ports = portList(server.candidate.ports);
    if (stopServer(server, now, live.killer(), inputs, killLog)) {
      out.line("Freed " + ports + " and " + decimalBytes(server.candidate.footprint) + ".");
    } else {
      out.line("Couldn't stop " + ports + ".");
      allStopped = false;
    }
  }
  return allStopped ? ExitStatus::ok : ExitStatus::partial;
}

}  // namespace glimmet
