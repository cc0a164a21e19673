// glimmet apps leftovers: one app's leftover files.
#pragma once

#include <string>

#include "cli/command_spec.h"

namespace glimmet::cli {

struct AppsLeftovers {
  std::string app;
  bool json = false;

  CommandSpec spec();
};

}  // namespace glimmet::cli
