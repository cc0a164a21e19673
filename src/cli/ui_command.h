// glimmet ui: Look at sessions, ghosts, dev servers and disk items, and act, in one view.
#pragma once

#include "cli/command_spec.h"

namespace glimmet::cli {

struct Ui {
  CommandSpec spec();
};

}  // namespace glimmet::cli
