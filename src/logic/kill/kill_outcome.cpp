#include "logic/kill/kill_outcome.h"

#include "core/output/byte_format.h"

namespace glimmet {

KillOutcome describeKill(const KillReport& report, const std::string& target) {
  switch (report.status) {
    case KillReport::Status::done:
      return {
          "Freed " + target + " and " + memoryStyleBytes(report.freedBytes) +
              (report.neededSIGKILLAfterSIGTERM() ? " (SIGTERM was ignored, SIGKILL used)" : "") +
              ".",
          ExitStatus::ok};
    case KillReport::Status::partial:
      return {"Couldn't stop everything in " + target + ".",
              report.anyNotPermitted() ? ExitStatus::cannotStart : ExitStatus::partial};
    case KillReport::Status::refused:
      break;
  }
  const SkipReason reason = report.refusal.value_or(SkipReason::of(SkipReason::Kind::gone));
  return {"Couldn't stop " + target + ": " + reason.text() + ".",
          reason.alreadyStopped() ? ExitStatus::nothingFound : ExitStatus::cannotStart};
}

bool isLogged(const KillReport& report) {
  return !(report.status == KillReport::Status::refused && report.refusal &&
           report.refusal->alreadyStopped());
}

}  // namespace glimmet
