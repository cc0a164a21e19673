// Which ghosts the reaper stops: by origin, age, agent and session, under the
// user's reaper rules. Pure, over a ghost report and the time now.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "core/ghosts/ghost.h"
#include "core/settings/glimmet_settings.h"

namespace glimmet {

/// Why a reap runs.
enum class ReapTrigger { sessionEnd, runaway, login, schedule, cli };

struct ReapCause {
  ReapTrigger trigger = ReapTrigger::cli;
  /// sessionEnd: the ended session's root; runaway: the runaway process.
  std::optional<ProcessIdentity> subject;
  /// login, schedule, cli: replaces the rules' minimum age when set.
  std::optional<double> minimumAgeOverride;
};

bool selects(const Ghost& ghost, const ReaperRules& rules, const ReapCause& cause,
             std::chrono::system_clock::time_point now);

/// "Ghosts older than 6h, exact origins only", as the rules read to a person.
std::string rulesSummary(const ReaperRules& rules);
/// "2 minutes after login, ghosts older than 6h"
std::string loginRuleText(const ReaperRules& rules, int minutesAfterLogin);
/// "Quit what that session started and left behind, after 60 s"
std::string sessionEndRuleText(const ReaperRules& rules);

}  // namespace glimmet
