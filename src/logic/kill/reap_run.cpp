#include "logic/kill/reap_run.h"

#include <chrono>

#include "app/process_views.h"
#include "core/ghosts/ancestry_recorder.h"
#include "core/ghosts/match_cache.h"
#include "core/process/process_enumerator.h"
#include "core/util/ascii.h"
#include "logic/kill/live_tree_killer.h"
#include "logic/kill/session_watch.h"
#include "logic/reaper/reap_selection.h"

namespace glimmet {
namespace {

std::string described(const Ghost& ghost) {
  return displayCommand(ghost.root) + " (PID " + std::to_string(ghost.root.pid()) + ", " +
         ghost.origin.fullLabel() + ")";
}

}  // namespace

ProcessIdentity findSession(pid_t pid, const ProcessSnapshot& snapshot,
                            const SignatureEngine& signatures) {
  MatchCache cache(signatures);
  const ProcessRecord* record = snapshot.record(pid);
  // Bounded by the snapshot's size, so a loop in the parent links ends.
  for (std::size_t steps = 0; record != nullptr && steps <= snapshot.records().size(); ++steps) {
    if (cache.agentRoot(*record)) return record->identity;
    if (record->ppid <= 1) break;
    record = snapshot.record(record->ppid);
  }
  throw CommandFailure("No agent session found at or above PID " + std::to_string(pid) + ".",
                       ExitStatus::nothingFound);
}

ReapOutcome describeReap(const ReapResult& result, bool quiet) {
  ReapOutcome outcome;
  if (result.ghosts.empty()) {
    if (!quiet) outcome.lines.push_back("No ghosts to reap.");
    outcome.status = ExitStatus::nothingFound;
    return outcome;
  }
  if (result.dryRun) {
    if (!quiet)
      for (const auto& ghost : result.ghosts)
        outcome.lines.push_back("Would reap " + described(ghost));
    return outcome;
  }
  bool notPermitted = false;
  bool incomplete = false;
  for (std::size_t i = 0; i < result.reports.size(); ++i) {
    const auto& report = result.reports[i];
    const auto& ghost = result.ghosts[i];
    notPermitted = notPermitted || report.anyNotPermitted();
    if (report.status == KillReport::Status::refused) {
      // A ghost that ended by itself since the scan is no failure of ours.
      const auto reason = report.refusal.value_or(SkipReason::of(SkipReason::Kind::gone));
      incomplete = incomplete || !reason.alreadyStopped();
      if (!quiet)
        outcome.lines.push_back("Couldn't reap " + described(ghost) + ": " + reason.text() + ".");
      continue;
    }
    incomplete = incomplete || report.status == KillReport::Status::partial;
    if (!quiet) outcome.lines.push_back("Reaped " + described(ghost));
  }
  outcome.status = notPermitted ? ExitStatus::cannotStart
                   : incomplete ? ExitStatus::partial
                                : ExitStatus::ok;
  return outcome;
}

std::vector<Ghost> chooseGhosts(const std::vector<Ghost>& ghosts, const ReapRequest& request,
                                const std::optional<ProcessIdentity>& session, ReaperRules rules,
                                std::chrono::system_clock::time_point now) {
  if (request.includeDevServers) rules.includeOrphanedDevServers = true;
  const bool sessionEnded = request.afterExit && session;
  // After the session's end: what that session left behind, however young.
  const ReapCause cause = sessionEnded ? ReapCause{.trigger = ReapTrigger::sessionEnd,
                                                   .subject = session,
                                                   .minimumAgeOverride = std::nullopt}
                                       : ReapCause{.trigger = ReapTrigger::cli,
                                                   .subject = std::nullopt,
                                                   .minimumAgeOverride = request.olderThan};
  std::vector<Ghost> chosen;
  for (const auto& ghost : ghosts) {
    if (!selects(ghost, rules, cause, now)) continue;
    if (session &&
        !(ghost.origin.kind == Origin::Kind::exact && ghost.origin.rootIdentity == *session)) {
      continue;
    }
    // An age asked for on the command line still holds after the session's end.
    if (sessionEnded && request.olderThan && *request.olderThan > 0 &&
        ghost.root.age(now) < *request.olderThan)
      continue;
    if (request.agent && asciiLower(ghost.origin.agent) != asciiLower(*request.agent)) continue;
    chosen.push_back(ghost);
  }
  return chosen;
}

ReapOutcome runReap(const CommandInputs& inputs, const ReapRequest& request, KillClock& clock) {
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
  SystemView view(inputs, snapshot);
  GhostScanner scanner(*inputs.signatures, std::move(recorder));
  // The session's leftovers are reaped however young; the usual minimum age
  // is for ghosts nobody saw being left.
  const auto report =
      ghostReport(inputs, view, scanner, afterExit ? std::optional<double>(0) : std::nullopt);
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

}  // namespace glimmet
