// The argument parser: turns the process arguments into the command to run,
// its help, or a completion script request, over the declared command tree.
// It is the only code that knows the parser library.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/command_spec.h"

namespace glimmet::cli {

/// What the arguments ask for. A usage error is an outcome, not an exception:
/// it names the command whose usage line belongs under its message.
struct ParseOutcome {
  enum class Kind { run, help, completion, usageError };
  Kind kind = Kind::run;
  const CommandSpec* command = nullptr;  ///< the command selected by the arguments
  std::string text;  ///< help text, the shell for `completion`, or the usage error
};

class CommandLine {
 public:
  /// `root` must outlive the CommandLine.
  explicit CommandLine(const CommandSpec& root);
  ~CommandLine();
  CommandLine(const CommandLine&) = delete;
  CommandLine& operator=(const CommandLine&) = delete;

  /// Parses `arguments` (without the program name), filling the bound fields.
  /// Call it once.
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
