#include "core/kill/kill_report.h"

#include <algorithm>
#include <csignal>

#include "core/util/ascii.h"

namespace glimmet {

std::string SkipReason::text() const {
  switch (kind) {
    case Kind::zombie:
      return "waiting for parent";
    case Kind::otherUser:
      return "owned by another user";
    case Kind::belowMinimumPID:
      return "it's a system process";
    case Kind::gone:
    case Kind::pidReused:
      return "it already stopped";
    case Kind::protectedProcess:
      break;
  }
  return protection ? asciiLower(protection->label()) : "protected";
}

bool KillReport::anyNotPermitted() const {
  return std::ranges::any_of(outcomes, [](const MemberResult& member) {
    return member.outcome.kind == MemberOutcome::Kind::notPermitted;
  });
}

bool KillReport::neededSIGKILLAfterSIGTERM() const {
  return std::ranges::find(signalsSent, SIGTERM) != signalsSent.end() &&
         std::ranges::find(signalsSent, SIGKILL) != signalsSent.end();
}

}  // namespace glimmet
