// Runs a program as the tests' child: arguments, environment and standard input
// given, standard output and error captured, optionally on a pseudo-terminal.
#pragma once

#include <string>
#include <vector>

#include "platform/environment.h"

namespace glimmet::testing {

struct RunResult {
  int status = -1;  ///< exit status, or 128 + signal
  std::string out;
  std::string err;
};

struct RunOptions {
  std::string input;        ///< written to standard input, which is then closed
  bool onTerminal = false;  ///< standard input and output on a pty (output then holds both streams)
  int timeoutSeconds = 60;  ///< the child's process group is killed after this
};

/// A pty's output as written: the terminal turns each line end into "\r\n".
inline std::string withoutCarriageReturns(std::string text) {
  std::erase(text, '\r');
  return text;
}

RunResult runProcess(const std::vector<std::string>& argv, const Environment& environment,
                     const RunOptions& options = {});

}  // namespace glimmet::testing
