// What a use case gets from the outside world: its streams, the environment
// and the tool's own path. Use cases never reach for std::cout or getenv, so
// tests run them in-process over their own streams and environment.
#pragma once

#include <filesystem>
#include <istream>
#include <ostream>

#include "core/output/output.h"
#include "platform/environment.h"

namespace glimmet {

struct RunContext {
  Output out;           ///< everything the command says
  std::ostream& error;  ///< the parser's messages and the few warnings kept off documents
  std::istream& input;  ///< standard input (notify payloads, confirmations)
  const Environment& environment;
  std::filesystem::path executable;  ///< this program, links resolved
};

}  // namespace glimmet
