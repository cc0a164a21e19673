// glimmet agents: List live agent sessions and the crash orphans they left behind.
#pragma once

#include "cli/command_spec.h"

namespace glimmet::cli {

struct Agents {
  bool json = false;

  CommandSpec spec();
};

}  // namespace glimmet::cli
