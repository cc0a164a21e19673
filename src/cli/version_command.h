// glimmet version: print the version.
#pragma once

#include "cli/command_spec.h"

namespace glimmet::cli {

struct Version {
  CommandSpec spec();
};

}  // namespace glimmet::cli
