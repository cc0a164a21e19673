// glimmet status: Summarise ghosts, dev servers and live agent sessions.
#pragma once

#include "cli/command_spec.h"

namespace glimmet::cli {

struct Status {
  bool json = false;

  CommandSpec spec();
};

}  // namespace glimmet::cli
