#include "app/companion_run.h"

namespace glimmet {

ExitStatus runCompanion(const CompanionRunRequest&, RunContext&) {
  throw CommandFailure("The companion isn't built yet.", ExitStatus::cannotStart);
}

}  // namespace glimmet
