#include "app/companion_reaper.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <string>

#include "app/ghost_reap.h"
#include "core/ghosts/ancestry_recorder.h"
#include "core/kill/kill_clock.h"
#include "core/process/process_enumerator.h"
#include "logic/reaper/reap_selection.h"
#include "logic/reaper/reaper_scheduler.h"

namespace glimmet {
namespace {

// Each stop carries what started it: the session end its own trigger and rule,
// login and schedule the automatic reaper's trigger with their rule's text.
GhostReapPass passFor(const DueReap& due, const ReaperRules& rules) {
  GhostReapPass pass{.reportMinimumAge = std::nullopt,
                     .dryRun = due.dryRun,
                     .trigger = KillLogEntry::Trigger::reaper,
                     .rule = std::nullopt};
  switch (due.trigger) {
    case ReapTrigger::sessionEnd:
      // What the session left is a ghost however young, as for the hook.
      pass.reportMinimumAge = 0;
      pass.trigger = KillLogEntry::Trigger::sessionEnd;
      pass.rule = sessionEndRuleText(rules);
      break;
    case ReapTrigger::login:
      pass.rule = loginRuleText(rules, static_cast<int>(ReaperScheduler::kLoginDelay / 60));
      break;
    default:
      pass.rule = rulesSummary(rules);
      break;
  }
  return pass;
}

std::string triggerName(ReapTrigger trigger) {
  switch (trigger) {
    case ReapTrigger::login:
      return "login";
    case ReapTrigger::sessionEnd:
      return "sessionEnd";
    default:
      return "schedule";
  }
}

// "at login", "on schedule", "after session PID 4242 ended"
std::string occasion(const DueReap& due) {
  switch (due.trigger) {
    case ReapTrigger::login:
      return "at login";
    case ReapTrigger::sessionEnd:
      return "after session PID " + std::to_string(due.session ? due.session->pid : 0) + " ended";
    default:
      return "on schedule";
  }
}

std::string countedGhosts(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " ghost" : " ghosts");
}

// "Reaped at login: stopped 2 of 3 ghosts." or, dry, "Reap on schedule (dry
// run): would stop 3 ghosts."
std::string reapLine(const DueReap& due, const CompanionReap& reap) {
  if (reap.dryRun)
    return "Reap " + occasion(due) + " (dry run): would stop " + countedGhosts(reap.selected) + ".";
  return "Reaped " + occasion(due) + ": stopped " + std::to_string(reap.stopped) + " of " +
         countedGhosts(reap.selected) + ".";
}

}  // namespace

struct CompanionReaper::State {
  ReaperScheduler scheduler;
  // The cause of the failure said last; the same cause is not said again until
  // a reap succeeds or another cause comes, so a missing signature file costs
  // one line, not one per reap.
  std::optional<std::string> lastFailure;

  void fail(const std::string& what, const std::string& cause, std::ostream& log) {
    if (lastFailure == cause) return;
    lastFailure = cause;
    log << what << ": " << cause << '\n';
  }

  CompanionReap run(const CommandInputs& inputs, const DueReap& due, SystemTime now) {
    if (!inputs.signatures) throw std::runtime_error("the signatures couldn't be loaded");
    const auto& rules = inputs.settings.reaper;
    const ReapCause cause{
        .trigger = due.trigger, .subject = due.session, .minimumAgeOverride = std::nullopt};
    ProcessEnumerator enumerator(inputs.uid());
    // Real signals and real grace periods: the companion stops as reap does.
    SystemKillClock clock;
    const auto result = reapGhosts(
        inputs, enumerator, AncestryRecorder::load(inputs.sharedFolder), clock, passFor(due, rules),
        [&](const std::vector<Ghost>& ghosts, std::chrono::system_clock::time_point at) {
          std::vector<Ghost> chosen;
          for (const auto& ghost : ghosts)
            if (selects(ghost, rules, cause, at)) chosen.push_back(ghost);
          return chosen;
        });
    const auto stopped = std::ranges::count_if(result.reports, [](const KillReport& report) {
      return report.status == KillReport::Status::done;
    });
    return {.at = now,
            .trigger = triggerName(due.trigger),
            .dryRun = result.dryRun,
            .selected = result.ghosts.size(),
            .stopped = static_cast<std::size_t>(stopped)};
  }
};

CompanionReaper::CompanionReaper(SystemTime startedAt)
    : state_(std::make_unique<State>(
          State{.scheduler = ReaperScheduler(startedAt), .lastFailure = std::nullopt})) {}

CompanionReaper::~CompanionReaper() = default;

std::optional<CompanionReap> CompanionReaper::tick(const CommandInputs& inputs,
                                                   const std::vector<ProcessIdentity>& liveSessions,
                                                   SystemTime now, std::ostream& log) {
  std::optional<CompanionReap> last;
  try {
    const auto due = state_->scheduler.observe(inputs.settings.reaper, liveSessions, now);
    for (const auto& reap : due) {
      // One reap that fails leaves the others due with it to run.
      try {
        last = state_->run(inputs, reap, now);
        state_->lastFailure.reset();
        log << reapLine(reap, *last) << '\n';
      } catch (const std::exception& error) {
        state_->fail("Couldn't reap " + occasion(reap), error.what(), log);
      }
    }
  } catch (const std::exception& error) {
    state_->fail("Couldn't schedule the reaper", error.what(), log);
  }
  return last;
}

}  // namespace glimmet
