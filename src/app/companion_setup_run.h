// glimmet companion install, uninstall and status: starting the companion at
// login, undoing that, and saying how it is.
#pragma once

#include "app/run_context.h"
#include "core/error.h"

namespace glimmet {

struct CompanionInstallRequest {};
struct CompanionStatusRequest {
  bool json = false;
};

ExitStatus runCompanionInstall(const CompanionInstallRequest& request, RunContext& context);
ExitStatus runCompanionUninstall(const CompanionInstallRequest& request, RunContext& context);
ExitStatus runCompanionStatus(const CompanionStatusRequest& request, RunContext& context);

}  // namespace glimmet
