#include "logic/reaper/reaper_scheduler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace glimmet {
namespace {

using ::testing::ElementsAreArray;

const auto kLaunch = std::chrono::system_clock::time_point(std::chrono::hours(24 * 365 * 56));
const ProcessIdentity kA{900, 42};
const ProcessIdentity kB{901, 43};

struct Rules {
  bool enabled = true;
  bool atLogin = true;
  bool onSchedule = true;
  bool onSessionEnd = true;
  double interval = 1800;
  double sessionGrace = 60;
  std::optional<bool> dryRunOverride;

  operator ReaperRules() const {  // NOLINT(google-explicit-constructor): table shorthand
    ReaperRules rules;
    rules.enabled = enabled;
    rules.atLogin = atLogin;
    rules.onSchedule = onSchedule;
    rules.onSessionEnd = onSessionEnd;
    rules.interval = interval;
    rules.sessionGrace = sessionGrace;
    rules.dryRunOverride = dryRunOverride;
    return rules;
  }
};

const Rules kSessionsOnly{.atLogin = false, .onSchedule = false};

// One stretch of observations, one a second up to `at` (seconds of wall clock
// after the launch), or, for a jump, a single one at `at`. `fired` is what they
// fired, each as "trigger[ pid][ dry]@second".
struct Step {
  double at;
  std::vector<std::string> fired;
  Rules rules = {};
  std::vector<ProcessIdentity> live = {};
  bool jump = false;
};

std::string described(const DueReap& due, double at) {
  static const char* const kNames[] = {"sessionEnd", "runaway", "login", "schedule", "cli"};
  std::string text = kNames[static_cast<int>(due.trigger)];
  if (due.session) text += " " + std::to_string(due.session->pid);
  if (due.dryRun) text += " dry";
  return text + "@" + std::to_string(static_cast<long long>(at));
}

void play(const std::vector<Step>& steps) {
  ReaperScheduler scheduler(kLaunch);
  double last = 0;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const auto& step = steps[i];
    std::vector<std::string> fired;
    for (double at = step.jump ? step.at : last + 1; at <= step.at; ++at) {
      const auto now = kLaunch + std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                     std::chrono::duration<double>(at));
      for (const auto& due : scheduler.observe(step.rules, step.live, now))
        fired.push_back(described(due, at));
    }
    EXPECT_THAT(fired, ElementsAreArray(step.fired)) << "step " << i << ", up to " << step.at;
    last = step.at;
  }
}

TEST(ReaperScheduler, LoginOnceAfterTwoMinutesAndTheScheduleFromLaunch) {
  play({{.at = 119, .fired = {}, .rules = {.interval = 600}},
        {.at = 1300,
         .fired = {"login@120", "schedule@600", "schedule@1200"},
         .rules = {.interval = 600}}});
  // The shortest interval: the login reap stands in for the schedule due with it.
  play({{.at = 200,
         .fired = {"schedule@60", "login@120", "schedule@180"},
         .rules = {.interval = 60}}});
  // An interval below the shortest is the shortest, not a reap every second.
  play({{.at = 100, .fired = {"schedule@60"}, .rules = {.atLogin = false, .interval = 0}}});
}

TEST(ReaperScheduler, RulesTurnedOffFireNothingAndTurnedOnStartAfresh) {
  play({{.at = 5000, .fired = {}, .rules = {.enabled = false}, .live = {kA}},
        {.at = 5100, .fired = {}, .rules = {.enabled = false}, .live = {}}});
  play({{.at = 5000, .fired = {}, .rules = {.atLogin = false, .onSchedule = false}}});
  // The login moment passes while the reaper is off; the schedule counts a whole
  // interval from when it is turned on.
  play({{.at = 300, .fired = {}, .rules = {.enabled = false}},
        {.at = 1000, .fired = {"schedule@900"}, .rules = {.interval = 600}}});
  play({{.at = 300, .fired = {"login@120"}, .rules = {.onSchedule = false, .interval = 600}},
        {.at = 1000, .fired = {"schedule@900"}, .rules = {.interval = 600}}});
}

TEST(ReaperScheduler, EachSessionSeenEndingIsReapedOnceAfterItsGrace) {
  play({// The first observation only learns what runs.
        {.at = 10, .fired = {}, .rules = kSessionsOnly, .live = {kA, kB}},
        {.at = 70, .fired = {}, .rules = kSessionsOnly, .live = {kB}},
        {.at = 80, .fired = {"sessionEnd 900@71"}, .rules = kSessionsOnly, .live = {kB}},
        {.at = 500, .fired = {"sessionEnd 901@141"}, .rules = kSessionsOnly, .live = {}}});
  // No grace: the observation that sees the end reaps.
  Rules noGrace = kSessionsOnly;
  noGrace.sessionGrace = 0;
  play({{.at = 10, .fired = {}, .rules = noGrace, .live = {kB, kA}},
        {.at = 11, .fired = {"sessionEnd 900@11"}, .rules = noGrace, .live = {kB}},
        {.at = 12, .fired = {"sessionEnd 901@12"}, .rules = noGrace, .live = {}}});
  // A session missed by one observation and seen again never ended.
  play({{.at = 10, .fired = {}, .rules = kSessionsOnly, .live = {kA}},
        {.at = 11, .fired = {}, .rules = kSessionsOnly, .live = {}},
        {.at = 500, .fired = {}, .rules = kSessionsOnly, .live = {kA}}});
}

TEST(ReaperScheduler, AnEndTheRuleDidNotWatchIsNeverReaped) {
  Rules off = kSessionsOnly;
  off.onSessionEnd = false;
  // Ended while off, turned on within what would have been the grace.
  play({{.at = 10, .fired = {}, .rules = off, .live = {kA}},
        {.at = 12, .fired = {}, .rules = off, .live = {}},
        {.at = 500, .fired = {}, .rules = kSessionsOnly, .live = {}}});
  // Ended while on, turned off during the grace and on again.
  play({{.at = 10, .fired = {}, .rules = kSessionsOnly, .live = {kA}},
        {.at = 30, .fired = {}, .rules = kSessionsOnly, .live = {}},
        {.at = 31, .fired = {}, .rules = {.enabled = false}, .live = {}},
        {.at = 500, .fired = {}, .rules = kSessionsOnly, .live = {}}});
}

TEST(ReaperScheduler, TheDryRunOverrideMarksEveryReap) {
  Rules dry{.sessionGrace = 0, .dryRunOverride = true};
  play({{.at = 10, .fired = {}, .rules = dry, .live = {kA}},
        {.at = 1800,
         .fired = {"sessionEnd 900 dry@11", "login dry@120", "schedule dry@1800"},
         .rules = dry}});
  dry.dryRunOverride = false;
  play({{.at = 120, .fired = {"login@120"}, .rules = dry}});
}

TEST(ReaperScheduler, AClockJumpNeitherStallsNorFloodsTheTriggers) {
  const Rules rules{.interval = 600, .sessionGrace = 600};
  // Set back by a day: the login is still due after two minutes watched, and
  // the schedule keeps its pace.
  play({{.at = 100, .fired = {}, .rules = rules},
        {.at = 100 - 86400, .fired = {}, .rules = rules, .jump = true},
        {.at = 500 - 86400, .fired = {"login@-86280"}, .rules = rules},
        {.at = 1100 - 86400, .fired = {"schedule@-85800"}, .rules = rules}});
  // Set forward by a day with a session in its grace: a minute counts, so only
  // the login falls due; the session end and the schedule come in their time.
  play({{.at = 10, .fired = {}, .rules = rules, .live = {kA}},
        {.at = 100, .fired = {}, .rules = rules, .live = {}},
        {.at = 100 + 86400, .fired = {"login@86500"}, .rules = rules, .jump = true},
        {.at = 1000 + 86400, .fired = {"schedule@86940", "sessionEnd 900@86951"}, .rules = rules}});
}

}  // namespace
}  // namespace glimmet
