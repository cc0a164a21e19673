#include "logic/reaper/reap_selection.h"

#include <algorithm>
#include <cmath>

namespace glimmet {
namespace {

bool originIsEligible(const Origin& origin, const ReaperRules& rules) {
  switch (origin.kind) {
    case Origin::Kind::exact:
      return true;
    case Origin::Kind::likely:
      return rules.allowLikelyOrigins;
    case Origin::Kind::orphanedDevServer:
      return rules.includeOrphanedDevServers;
    case Origin::Kind::unknownAgent:
      break;
  }
  return false;
}

std::string durationText(double seconds) {
  const double hours = seconds / 3600;
  if (hours >= 1 && hours == std::floor(hours)) {
    return std::to_string(static_cast<long long>(hours)) + "h";
  }
  return std::to_string(static_cast<long long>(std::llround(seconds / 60))) + " min";
}

std::string agePhrase(const ReaperRules& rules) {
  if (rules.minimumAge <= 0) return "of any age";
  return "older than " + durationText(rules.minimumAge);
}

}  // namespace

bool selects(const Ghost& ghost, const ReaperRules& rules, const ReapCause& cause,
             std::chrono::system_clock::time_point now) {
  if (!originIsEligible(ghost.origin, rules)) return false;
  switch (cause.trigger) {
    case ReapTrigger::sessionEnd:
      return cause.subject && ghost.origin.kind == Origin::Kind::exact &&
             ghost.origin.rootIdentity == *cause.subject;
    case ReapTrigger::runaway:
      return cause.subject &&
             (ghost.root.identity == *cause.subject ||
              std::ranges::find(ghost.members, *cause.subject) != ghost.members.end());
    case ReapTrigger::login:
    case ReapTrigger::schedule:
    case ReapTrigger::cli:
      break;
  }
  const double limit = cause.minimumAgeOverride.value_or(rules.minimumAge);
  return limit <= 0 || ghost.root.age(now) >= limit;
}

std::string rulesSummary(const ReaperRules& rules) {
  std::string scope;
  if (rules.allowLikelyOrigins) {
    scope = rules.includeOrphanedDevServers ? "exact and likely origins, and orphaned dev servers"
                                            : "exact and likely origins";
  } else {
    scope = rules.includeOrphanedDevServers ? "exact origins and orphaned dev servers"
                                            : "exact origins only";
  }
  return "Ghosts " + agePhrase(rules) + ", " + scope;
}

std::string loginRuleText(const ReaperRules& rules, int minutesAfterLogin) {
  return std::to_string(minutesAfterLogin) + " minutes after login, ghosts " + agePhrase(rules);
}

std::string sessionEndRuleText(const ReaperRules& rules) {
  return "Quit what that session started and left behind, after " +
         std::to_string(static_cast<long long>(rules.sessionGrace)) + " s";
}

}  // namespace glimmet
