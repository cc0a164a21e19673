#include "logic/kill/reap_run.h"

#include <chrono>

#include "core/ghosts/ancestry_recorder.h"
#include "core/ghosts/match_cache.h"
#include "core/process/process_enumerator.h"
#include "core/util/ascii.h"
#include "logic/kill/live_tree_killer.h"
#include "logic/reaper/reap_selection.h"
#include "logic/survey/process_views.h"

namespace glimmet {
namespace {

constexpr double kSessionPollSeconds = 2;
constexpr double kLongestSessionWait = 86400;

std::string described(const Ghost& ghost) {
  return displayCommand(ghost.root) + " (PID " + std::to_string(ghost.root.pid()) + ", " +
         ghost.origin.fullLabel() + ")";
}

// Returns when the session's root is gone or its pid belongs to another process,
// or after a day, whichever comes first.
void awaitSessionEnd(const ProcessIdentity& session, uid_t uid, KillClock& clock) {
  const SystemProcessInspector inspector(uid);
  const double began = clock.now();
  while (clock.now() - began < kLongestSessionWait && !hasExited(inspector, session)) {
    clock.sleep(kSessionPollSeconds);
  }
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

ReapOutcome runReap(const CommandInputs& inputs, const ReapRequest& request, KillClock& clock) {
  if (!inputs.signatures) {
    ReapOutcome missing{.lines = {}, .status = ExitStatus::cannotStart};
    if (!request.quiet) missing.lines.push_back(kSignaturesMissingMessage);
    return missing;
  }
  ProcessEnumerator enumerator(inputs.uid());
  std::optional<ProcessIdentity> session;
  if (request.session) {
    const auto before = enumerator.snapshot(std::chrono::system_clock::now(), false);
    session = findSession(*request.session, before, *inputs.signatures);
    if (request.afterExit) {
      awaitSessionEnd(*session, inputs.uid(), clock);
      clock.sleep(inputs.settings.reaper.sessionGrace);
    }
  }

  const auto snapshot = enumerator.snapshot(std::chrono::system_clock::now());
  SystemView view(inputs, snapshot);
  GhostScanner scanner(*inputs.signatures, AncestryRecorder::load(inputs.sharedFolder));
  const auto report = ghostReport(inputs, view, scanner);

  ReaperRules rules = inputs.settings.reaper;
  if (request.includeDevServers) rules.includeOrphanedDevServers = true;
  const ReapCause cause{.trigger = ReapTrigger::cli,
                        .subject = std::nullopt,
                        .minimumAgeOverride = request.olderThan};
  std::vector<Ghost> chosen;
  for (const auto& ghost : report.ghosts) {
    if (!selects(ghost, rules, cause, snapshot.takenAt())) continue;
    if (session &&
        !(ghost.origin.kind == Origin::Kind::exact && ghost.origin.rootIdentity == *session)) {
      continue;
    }
    if (request.agent && asciiLower(ghost.origin.agent) != asciiLower(*request.agent)) continue;
    chosen.push_back(ghost);
  }

  LiveTreeKiller live(inputs, clock);
  Reaper reaper(live.killer(), KillLog(inputs.sharedFolder, inputs.warnings),
                KillOptions::make(inputs.settings.gracePeriod));
  const KillLogContext logContext{.trigger = KillLogEntry::Trigger::cli,
                                  .time = snapshot.takenAt(),
                                  .home = inputs.home.string()};
  return describeReap(reaper.reap(chosen, snapshot, request.dryRun, logContext), request.quiet);
}

}  // namespace glimmet
