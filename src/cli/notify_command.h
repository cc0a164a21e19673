// glimmet notify: record an agent hook event for the Glimmet app.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/command_spec.h"

namespace glimmet::cli {

struct Notify {
  std::string agent;
  std::optional<int32_t> pid;
  std::optional<std::string> payload;

  CommandSpec spec();
};

}  // namespace glimmet::cli
