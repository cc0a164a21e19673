// glimmet apps: installed apps with their size and leftovers.
#pragma once

#include <string>

#include "cli/apps_list_command.h"
#include "cli/command_spec.h"

namespace glimmet::cli {

struct AppsLeftovers {
  std::string app;
  bool json = false;

  CommandSpec spec();
};

struct Apps {
  AppsList list;
  AppsLeftovers leftovers;

  CommandSpec spec();
};

}  // namespace glimmet::cli
