// glimmet ls: List dev servers and the ports they hold.
#pragma once

#include "cli/command_spec.h"

namespace glimmet::cli {

struct List {
  bool json = false;

  CommandSpec spec();
};

}  // namespace glimmet::cli
