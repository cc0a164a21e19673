// glimmet companion: the part of the companion application that Linux has no
// application for, run and set up from the command line.
#pragma once

#include "cli/command_spec.h"

namespace glimmet::cli {

struct CompanionRun {
  CommandSpec spec();
};

struct CompanionInstall {
  CommandSpec spec();
};

struct CompanionUninstall {
  CommandSpec spec();
};

struct CompanionStatus {
  bool json = false;

  CommandSpec spec();
};

struct Companion {
  CompanionRun run;
  CompanionInstall install;
  CompanionUninstall uninstall;
  CompanionStatus status;

  CommandSpec spec();
};

}  // namespace glimmet::cli
