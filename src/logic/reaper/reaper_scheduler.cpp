#include "logic/reaper/reaper_scheduler.h"

#include <algorithm>

namespace glimmet {
namespace {

bool contains(const std::vector<ProcessIdentity>& sessions, const ProcessIdentity& session) {
  return std::ranges::find(sessions, session) != sessions.end();
}

}  // namespace

ReaperScheduler::ReaperScheduler(Time launchedAt) : lastObservation_(launchedAt) {}

// The wall clock is all the scheduler is given, and it can be set back (a
// wrong clock corrected, a VM restored) or jump ahead (NTP after a long
// offline spell, a resume from suspend). The scheduler therefore keeps its own
// clock of time watched: each observation adds the wall-clock step since the
// last one, a step backwards adds nothing, and a step forwards adds at most
// kLongestStep. Observations come every second, and even one that waited for a
// reap's grace periods stays well below that bound, so real time counts in
// full; a jump counts as a short step. A clock set back by a day thus delays
// nothing, and one set forward by a day fires at most what a minute would
// have, one reap per trigger, instead of everything at once.
void ReaperScheduler::advanceTo(Time now) {
  const double step = std::chrono::duration<double>(now - lastObservation_).count();
  watched_ += std::clamp(step, 0.0, kLongestStep);
  lastObservation_ = now;
}

// A session ends when it was alive at the last observation and is not now. The
// first observation only primes: the sessions alive when the companion starts
// are not endings. A session that ends while the rule is off is never reaped,
// not even if the rule is turned on during what would have been its grace:
// the user didn't want that ending reaped when it happened.
void ReaperScheduler::noteEndedSessions(const ReaperRules& rules,
                                        const std::vector<ProcessIdentity>& liveSessions) {
  const bool watching = rules.enabled && rules.onSessionEnd;
  if (primed_ && watching) {
    for (const auto& session : live_)
      if (!contains(liveSessions, session)) endedSessions_.push_back({session, watched_});
  }
  live_ = liveSessions;
  primed_ = true;
  // Turned off during the grace: nothing pending is reaped. A session seen
  // alive again was only missed by one observation; it has not ended.
  std::erase_if(endedSessions_, [&](const EndedSession& ended) {
    return !watching || contains(liveSessions, ended.session);
  });
}

std::vector<DueReap> ReaperScheduler::observe(const ReaperRules& givenRules,
                                              const std::vector<ProcessIdentity>& liveSessions,
                                              Time now) {
  // An interval of 0 would reap every second; settings are clamped when read,
  // but the scheduler must not depend on that.
  const ReaperRules rules = givenRules.clamped();
  advanceTo(now);
  noteEndedSessions(rules, liveSessions);
  const bool dryRun = rules.dryRunOverride.value_or(false);
  std::vector<DueReap> due;

  // Login is one moment: the first observation past the delay decides, with
  // the rules of that moment. Turning the rule on later does not reap "at
  // login" hours after it; the schedule covers that time.
  bool loginRuns = false;
  if (!loginDone_ && watched_ >= kLoginDelay) {
    loginDone_ = true;
    loginRuns = rules.enabled && rules.atLogin;
    if (loginRuns) due.push_back({.trigger = ReapTrigger::login, .session = {}, .dryRun = dryRun});
  }

  // While the schedule is off its interval doesn't run, so turning it on waits
  // a whole interval rather than reaping at once. A login reap selects exactly
  // what a scheduled one would, so it stands in for one that falls due with it.
  if (!rules.enabled || !rules.onSchedule) {
    lastScheduledRun_ = watched_;
  } else if (watched_ - lastScheduledRun_ >= rules.interval) {
    lastScheduledRun_ = watched_;
    if (!loginRuns)
      due.push_back({.trigger = ReapTrigger::schedule, .session = {}, .dryRun = dryRun});
  }

  std::vector<EndedSession> waiting;
  for (const auto& ended : endedSessions_) {
    if (watched_ - ended.endedAt < rules.sessionGrace) {
      waiting.push_back(ended);
      continue;
    }
    due.push_back({.trigger = ReapTrigger::sessionEnd, .session = ended.session, .dryRun = dryRun});
  }
  endedSessions_ = std::move(waiting);
  return due;
}

}  // namespace glimmet
