// glimmet ports: Show what is listening, including ports owned by another user.
#pragma once

#include "cli/command_spec.h"

namespace glimmet::cli {

struct Ports {
  bool json = false;

  CommandSpec spec();
};

}  // namespace glimmet::cli
