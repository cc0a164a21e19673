#include "app/stop_run.h"

#include <chrono>

#include "app/cli_survey.h"
#include "app/live_tree_killer.h"
#include "core/kill/kill_clock.h"
#include "core/kill/kill_log.h"
#include "core/kill/kill_report_entry.h"
#include "core/output/document.h"
#include "core/process/process_enumerator.h"
#include "logic/idle/stop_plan.h"
#include "platform/files.h"

namespace glimmet {
namespace {

constexpr const char* kQuestion = "Stop them? Type yes: ";
// The descriptor every process starts with as its standard input.
constexpr int kStandardInput = 0;

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

ExitStatus runStopIdle(const StopIdleRequest& request, RunContext& context) {
  auto inputs = CommandInputs::load(context.environment, context.executable);
  inputs.warnings = &context.error;
  const auto survey = CLISurvey::gather(inputs);
  const double minimumAge = IdlePlan::minimumAge(request.olderThanMinutes);
  std::vector<IdleCandidate> candidates;
  for (const auto& server : survey.servers)
    candidates.push_back(IdleCandidate::of(server, survey.snapshot.takenAt()));
  const StopPlanDocument document{IdlePlan::make(std::move(candidates), minimumAge), minimumAge};

  const auto format = outputFormat(request.json);
  const auto status = printDocument(context.out, document, format);
  if (format == OutputFormat::json || status != ExitStatus::ok) return status;

  context.out.write(kQuestion);
  switch (confirmation(platform::isTerminal(kStandardInput), context.input)) {
    case StopConfirm::needsTTY:
      // Nobody typed the line break that ends the question, so end it here.
      context.out.line("");
      context.out.line("stop needs a yes typed at a terminal. An assistant can't confirm this.");
      return ExitStatus::cannotStart;
    case StopConfirm::declined:
      context.out.line("Nothing stopped.");
      return ExitStatus::nothingFound;
    case StopConfirm::proceed:
      break;
  }

  const auto planned = plannedServers(document.plan, survey.servers, survey.snapshot);
  SystemKillClock clock;
  LiveTreeKiller live(inputs, clock);
  ProcessEnumerator enumerator(inputs.uid());
  const KillLog killLog(inputs.sharedFolder, inputs.warnings);
  bool allStopped = planned.size() == document.plan.stop.size();
  for (const auto& server : planned) {
    const auto now = enumerator.snapshot(std::chrono::system_clock::now());
    const bool stopped = stopServer(server, now, live.killer(), inputs, killLog);
    context.out.line(stopLine(server, stopped));
    allStopped = allStopped && stopped;
  }
  return allStopped ? ExitStatus::ok : ExitStatus::partial;
}

}  // namespace glimmet
