#include "app/reap_run.h"

#include <chrono>

#include "app/command_inputs.h"
#include "app/ghost_reap.h"
#include "app/session_watch.h"
#include "core/ghosts/ancestry_recorder.h"
#include "core/kill/kill_clock.h"
#include "core/process/process_enumerator.h"
#include "logic/reaper/reap_selection.h"

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

  GhostReapPass pass{.reportMinimumAge = std::nullopt,
                     .dryRun = request.dryRun,
                     .trigger = KillLogEntry::Trigger::cli,
                     .rule = std::nullopt};
  if (afterExit) {
    // The session's leftovers are reaped however young; the usual minimum age
    // is for ghosts nobody saw being left.
    pass.reportMinimumAge = 0;
    pass.trigger = KillLogEntry::Trigger::sessionEnd;
    pass.rule = sessionEndRuleText(inputs.settings.reaper);
  }
  const auto result =
      reapGhosts(inputs, enumerator, std::move(recorder), clock, pass,
                 [&](const std::vector<Ghost>& ghosts, std::chrono::system_clock::time_point now) {
                   return chooseGhosts(ghosts, request, session, inputs.settings.reaper, now);
                 });
  return describeReap(result, request.quiet);
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
