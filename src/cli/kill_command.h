// glimmet kill: stop a process tree by port or pid.
#pragma once

#include <optional>
#include <string>

#include "cli/command_spec.h"

namespace glimmet::cli {

struct Kill {
  std::string target;
  bool force = false;
  std::optional<double> grace;

  CommandSpec spec();
};

}  // namespace glimmet::cli
