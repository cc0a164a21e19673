#include "app/companion_setup_run.h"

namespace glimmet {

ExitStatus runCompanionInstall(const CompanionInstallRequest&, RunContext&) {
  throw CommandFailure("Installing the companion isn't built yet.", ExitStatus::cannotStart);
}

ExitStatus runCompanionUninstall(const CompanionInstallRequest&, RunContext&) {
  throw CommandFailure("Uninstalling the companion isn't built yet.", ExitStatus::cannotStart);
}

ExitStatus runCompanionStatus(const CompanionStatusRequest&, RunContext&) {
  throw CommandFailure("The companion's status isn't built yet.", ExitStatus::cannotStart);
}

}  // namespace glimmet
