// Typed errors that carry the user's message, and the exit statuses they end in.
#pragma once

#include <stdexcept>
#include <string>

namespace glimmet {

/// The exit statuses of every command. One place (cli/run.cpp) turns errors into them.
enum class ExitStatus : int {
  ok = 0,            ///< did what was asked
  nothingFound = 1,  ///< nothing to report, or no such target
  partial = 2,       ///< the action ran but part of it failed
  cannotStart = 3,   ///< a data file is missing, or a needed terminal is absent
  usage = 64,        ///< bad or missing options, or a failed validation rule
};

/// A failure the command reports to its user on standard output, ending with `status`.
/// Core operations throw it with the exact sentence the user should read.
class CommandFailure : public std::runtime_error {
 public:
  CommandFailure(std::string message, ExitStatus status)
      : std::runtime_error(std::move(message)), status_(status) {}
  ExitStatus status() const noexcept { return status_; }

 private:
  ExitStatus status_;
};

/// A usage error: printed on standard error with the command's usage line, status 64.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace glimmet
