// glimmet protect and glimmet unprotect: edit the user's protection rules.
#pragma once

#include <string>

#include "cli/command_spec.h"

namespace glimmet::cli {

struct Protect {
  std::string pattern;

  CommandSpec spec();
};

struct Unprotect {
  std::string pattern;

  CommandSpec spec();
};

}  // namespace glimmet::cli
