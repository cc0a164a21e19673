// glimmet apps list: List apps with size and leftovers count.
#pragma once

#include "cli/command_spec.h"

namespace glimmet::cli {

struct AppsList {
  bool json = false;

  CommandSpec spec();
};

}  // namespace glimmet::cli
