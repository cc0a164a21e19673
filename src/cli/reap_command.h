// glimmet reap: stop ghost processes left behind by AI agents.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/command_spec.h"

namespace glimmet::cli {

struct Reap {
  bool dryRun = false;
  std::optional<std::string> olderThan;
  std::optional<int32_t> session;
  bool afterExit = false;
  std::optional<std::string> agent;
  bool includeDevServers = false;
  bool quiet = false;

  CommandSpec spec();
};

}  // namespace glimmet::cli
