// glimmet ghosts: List ghost processes left behind by AI agents.
#pragma once

#include "cli/command_spec.h"

namespace glimmet::cli {

struct Ghosts {
  bool json = false;

  CommandSpec spec();
};

}  // namespace glimmet::cli
