// The argument parser: turns the process arguments into the command to run,
// its help, or a completion script request, over the declared command tree.
// It is the only code that knows the parser library.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/command_spec.h"

namespace glimmet::cli {

struct ParseOutcome {
  enum class Kind { run, help, completion };
  Kind kind = Kind::run;
  const CommandSpec* command = nullptr;  ///< the command selected by the arguments
  std::string text;                      ///< help text, or the shell for `completion`
};

/// A usage error, with the command whose usage line belongs under it.
class UsageFailure : public std::runtime_error {
 public:
  UsageFailure(const std::string& message, const CommandSpec& command)
      : std::runtime_error(message), command_(&command) {}
  const CommandSpec& command() const { return *command_; }

 private:
  const CommandSpec* command_;
};

class CommandLine {
 public:
  /// `root` must outlive the CommandLine.
  explicit CommandLine(const CommandSpec& root);
  ~CommandLine();
  CommandLine(const CommandLine&) = delete;
  CommandLine& operator=(const CommandLine&) = delete;

  /// Parses `arguments` (without the program name), filling the bound fields.
  /// Call it once. Throws UsageFailure.
  ParseOutcome parse(std::vector<std::string> arguments);

  /// "Usage: glimmet reap [--dry-run] ..." for `command`.
  std::string usage(const CommandSpec& command) const;
  /// "glimmet disk scan".
  std::string commandPath(const CommandSpec& command) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// The root option that prints a completion script.
inline constexpr const char* kCompletionOption = "--generate-completion-script";

}  // namespace glimmet::cli
