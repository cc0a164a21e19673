// Carrying out an install or uninstall plan: each step in turn, its line said
// as it succeeds, and the first failure said and final.
#pragma once

#include "app/run_context.h"
#include "core/companion/launch_file_store.h"
#include "core/companion/systemd_user_manager.h"
#include "core/error.h"
#include "logic/companion/companion_setup_plan.h"

namespace glimmet {

/// Runs `plan` for the glimmet at `executable`. Status: the plan's when every
/// step succeeded; at a failure, 3 when nothing had changed yet, else 2.
ExitStatus carryOutCompanionSetup(const CompanionSetupPlan& plan, const LaunchFilePlaces& places,
                                  const SystemdUserManager& manager, const std::string& executable,
                                  Output& out);

}  // namespace glimmet
