// What `glimmet companion install` and `uninstall` do, decided from what is
// there now: the unit under a reachable systemd user manager, else the XDG
// autostart entry; a file is only ever replaced or removed when it is exactly
// as glimmet wrote it. The steps are carried out by the use case, which says
// each step's line as it succeeds and stops at the first one that fails.
#pragma once

#include <string>
#include <vector>

#include "core/error.h"
#include "logic/companion/companion_launch_files.h"

namespace glimmet {

struct CompanionSetupFacts {
  std::string executable;     ///< this glimmet, links resolved
  std::string unitPath;       ///< as the user reads it ("~/.config/systemd/user/...")
  std::string autostartPath;  ///< likewise
  LaunchFileState unit;
  LaunchFileState autostart;
  /// default.target.wants holds the link `systemctl enable` made to our unit.
  bool wantsLinkIsOurs = false;
  UserManagerReach manager = UserManagerReach::unreachable;
};

struct CompanionSetupStep {
  enum class Kind {
    writeUnit,
    removeUnit,
    removeWantsLink,
    writeAutostart,
    removeAutostart,
    systemctl
  };
  Kind kind = Kind::systemctl;
  std::vector<std::string> arguments;  ///< for systemctl: what follows `systemctl --user`
  std::string doneLine;                ///< said once the step succeeded; empty says nothing

  bool operator==(const CompanionSetupStep&) const = default;
};

struct CompanionSetupPlan {
  std::vector<std::string> preface;  ///< said before any step
  std::vector<CompanionSetupStep> steps;
  std::vector<std::string> closing;  ///< said once every step succeeded
  ExitStatus status = ExitStatus::ok;
};

CompanionSetupPlan planCompanionInstall(const CompanionSetupFacts& facts);
CompanionSetupPlan planCompanionUninstall(const CompanionSetupFacts& facts);

}  // namespace glimmet
