#include "app/reap_run.h"

#include <chrono>

#include "app/command_inputs.h"
#include "app/live_tree_killer.h"
#include "app/session_watch.h"
#include "app/system_view.h"
#include "core/ghosts/ancestry_recorder.h"
#include "core/kill/kill_clock.h"
#include "core/process/process_enumerator.h"
#include "logic/reaper/reap_selection.h"
#include "logic/survey/process_lists.h"

namespace glimmet {
namespace {

ReapOutcome reap(const CommandInputs& inputs, const ReapRequest& request, KillClock& clock) {
  if (!inputs.signatures) {
    ReapOutcome missing{.lines = {}, .status = ExitStatus::cannotStart};
    if (!request.quiet) missing.lines.push_back(kSignaturesMissingMessage);
    return missing;
  }
  ProcessEnumerator enumerator(inputs.uid());
  auto recorder = AncestryRecorder::load(inputs.sharedFolder);
  std::optional<ProcessIdentity> session;
  const bool afterExit = request.session && request.afterExit;
  if (request.session) {
    const auto before = enumerator.snapshot(std::chrono::system_clock::now(), false);
    session = findSession(*request.session, before, *inputs.signatures);
    if (afterExit) {
      // Nobody else records this session's processes while it lives, so the
      // wait does, or what it leaves behind would have no origin once it exits.
      watchSessionEnd(
          *session, [&] { return enumerator.snapshot(std::chrono::system_clock::now(), false); },
          *inputs.signatures, recorder, clock);
      clock.sleep(inputs.settings.reaper.sessionGrace);
    }
  }

  const auto snapshot = enumerator.snapshot(std::chrono::system_clock::now());
  const SystemView view(inputs, snapshot);
  GhostScanner scanner(*inputs.signatures, std::move(recorder));
  // The session's leftovers are reaped however young; the usual minimum age
  // is for ghosts nobody saw being left.
  const auto report = ghostReport(snapshot, view.facts(), inputs.rules(), scanner,
                                  afterExit ? std::optional<double>(0) : std::nullopt);
  const auto chosen =
      chooseGhosts(report.ghosts, request, session, inputs.settings.reaper, snapshot.takenAt());

  LiveTreeKiller live(inputs, clock);
  Reaper reaper(live.killer(), KillLog(inputs.sharedFolder, inputs.warnings),
                KillOptions::make(inputs.settings.gracePeriod));
  KillLogContext logContext{.trigger = KillLogEntry::Trigger::cli,
                            .time = snapshot.takenAt(),
                            .home = inputs.home.string()};
  if (afterExit) {
    logContext.trigger = KillLogEntry::Trigger::sessionEnd;
    logContext.rule = sessionEndRuleText(inputs.settings.reaper);
  }
  return describeReap(reaper.reap(chosen, snapshot, request.dryRun, logContext), request.quiet);
}

}  // namespace

ExitStatus runReap(const ReapRequest& request, RunContext& context) {
  auto inputs = CommandInputs::load(context.environment, context.executable);
  inputs.warnings = &context.error;
  SystemKillClock clock;
  const auto outcome = reap(inputs, request, clock);
  for (const auto& line : outcome.lines) context.out.line(line);
  return outcome.status;
}

}  // namespace glimmet
