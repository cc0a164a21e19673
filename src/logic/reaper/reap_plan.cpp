#include "logic/reaper/reap_plan.h"

#include "core/ghosts/match_cache.h"
#include "core/util/ascii.h"
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

}  // namespace glimmet
