// glimmet stop: stop dev servers that have been sitting idle.
#pragma once

#include <cstdint>
#include <optional>

#include "cli/command_spec.h"

namespace glimmet::cli {

struct Stop {
  bool idle = false;
  std::optional<int64_t> olderThan;  // minutes; absent means 45
  bool json = false;

  CommandSpec spec();
};

}  // namespace glimmet::cli
