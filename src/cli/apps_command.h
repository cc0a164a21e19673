// glimmet apps: installed apps with their size and leftovers.
#pragma once

#include "cli/apps_leftovers_command.h"
#include "cli/apps_list_command.h"
#include "cli/command_spec.h"

namespace glimmet::cli {

struct Apps {
  AppsList list;
  AppsLeftovers leftovers;

  CommandSpec spec();
};

}  // namespace glimmet::cli
