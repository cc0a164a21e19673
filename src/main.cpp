// glimmet: finds what AI coding agents and dev tools leave behind.
#include <iostream>

#include "cli/run.h"
#include "platform/paths.h"
#include "platform/signals.h"

int main(int argc, char** argv, char** envp) {
  // A closed pipe is an EPIPE write error, never a silent death mid-document.
  glimmet::platform::ignoreBrokenPipes();
  std::ios::sync_with_stdio(false);

  const auto environment = glimmet::Environment::fromArray(envp);
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const int status = glimmet::cli::runGlimmet(
      arguments, environment, glimmet::platform::ownExecutable(), {std::cout, std::cerr, std::cin});
  std::cout.flush();
  return status;
}
