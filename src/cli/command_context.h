// What a command body gets from the outside world: its streams, the environment
// and the tool's own path. Bodies never reach for std::cout or getenv.
#pragma once

#include <filesystem>
#include <istream>
#include <ostream>

#include "core/output/output.h"
#include "platform/environment.h"

namespace glimmet::cli {

struct CommandContext {
  Output out;           ///< everything the command says
  std::ostream& error;  ///< the parser's messages and one disk-scan warning
  std::istream& input;  ///< standard input (notify payloads, confirmations)
  const Environment& environment;
  std::filesystem::path executable;  ///< this program, links resolved
};

}  // namespace glimmet::cli
