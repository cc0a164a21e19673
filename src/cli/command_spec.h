// The command tree as plain data: every command with its help texts, options,
// flags and arguments, bound to the fields of the command's own value. The
// parser adapter and the completion generators both read this one tree.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "core/error.h"

namespace glimmet::cli {

/// What an option's or argument's value is, for conversion and completion.
enum class ValueKind { text, path, directory, pid, integer, seconds, choice };

struct Parameter {
  enum class Kind { flag, option, argument };
  Kind kind = Kind::flag;
  std::string name;       ///< "--older-than", or an argument's name ("target")
  std::string valueName;  ///< shown in usage: "<duration>"
  std::string help;
  ValueKind value = ValueKind::text;
  std::vector<std::string> choices;  ///< for ValueKind::choice
  bool required = false;
  bool repeating = false;  ///< takes every remaining positional value
  bool hidden = false;     ///< accepted but left out of help and completions
  /// Converts and stores one value; throws UsageError with the user's message.
  std::function<void(const std::string&)> assign;
  bool* flag = nullptr;
};

struct CommandSpec {
  std::string name;
  std::string abstract;
  std::string discussion;
  std::vector<Parameter> parameters;  ///< in help order
  std::vector<CommandSpec> subcommands;
  std::string defaultSubcommand;  ///< run when a group is given no further word
  /// Runs after parsing and before the body; throws UsageError.
  std::function<void()> validate;
  /// The body; empty for a group, which prints its help instead.
  std::function<ExitStatus(CommandContext&)> run;

  const CommandSpec* subcommand(std::string_view name) const;
};

// Builders, so each command declares its parameters in one line apiece.
Parameter flag(std::string name, std::string help, bool& target);
Parameter textOption(std::string name, std::string valueName, std::string help,
                     std::optional<std::string>& target, ValueKind kind = ValueKind::text);
Parameter requiredTextOption(std::string name, std::string valueName, std::string help,
                             std::string& target);
Parameter pidOption(std::string name, std::string help, std::optional<int32_t>& target);
Parameter integerOption(std::string name, std::string valueName, std::string help,
                        std::optional<int64_t>& target);
Parameter secondsOption(std::string name, std::string help, std::optional<double>& target);
Parameter argument(std::string name, std::string help, std::string& target);
/// An argument whose `choices` completion offers. The parser takes any text:
/// the command checks it with a message that says what it accepts.
Parameter choiceArgument(std::string name, std::string help, std::vector<std::string> choices,
                         std::string& target);
Parameter optionalArgument(std::string name, std::string help, std::optional<std::string>& target);
Parameter repeatingArgument(std::string name, std::string help, std::vector<std::string>& target);

/// The shared help text of every --json flag.
inline constexpr const char* kJsonHelp = "Print JSON (docs/cli-schema.json, schema 1).";

}  // namespace glimmet::cli
