// The entry point behind main: parse, validate, run, and turn every outcome and
// error into output and an exit status, in this one place.
#pragma once

#include <filesystem>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "platform/environment.h"

namespace glimmet::cli {

struct ProcessStreams {
  std::ostream& out;
  std::ostream& error;
  std::istream& input;
};

/// Runs one command for `arguments` (without the program name) and returns the
/// process's exit status.
int runGlimmet(const std::vector<std::string>& arguments, const Environment& environment,
               const std::filesystem::path& executable, ProcessStreams streams);

}  // namespace glimmet::cli
