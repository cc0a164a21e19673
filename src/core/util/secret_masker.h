// Masks what looks like a secret in a command line before it is printed in a
// document or written to a log: flag values, KEY=value assignments, long tokens.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace glimmet {

class SecretMasker {
 public:
  /// Three U+2022 bullets.
  static constexpr std::string_view mask = "\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2";

  /// Runs of 32 or more of [A-Za-z0-9+_=-] that hold both a letter and a digit.
  static std::string maskTokens(std::string_view text);
  /// Argument by argument, then once more inside each argument that holds spaces
  /// (the script of `sh -c`). The result has as many arguments as `argv`.
  static std::vector<std::string> maskArguments(const std::vector<std::string>& argv);
  /// A whole command line, split at spaces, masked, and joined with single spaces.
  static std::string maskCommandLine(std::string_view text);
  /// `argv` masked and joined with single spaces; `name` when the arguments
  /// couldn't be read (another user's process, a zombie).
  static std::string maskedCommand(const std::vector<std::string>& argv, std::string_view name);
};

}  // namespace glimmet
