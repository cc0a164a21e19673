// Shell completion scripts for bash, zsh and fish, generated from the command
// tree so they never drift from the parser.
#pragma once

#include <string>
#include <string_view>

#include "cli/command_spec.h"

namespace glimmet::cli {

/// The completion script for `shell` ("bash", "zsh" or "fish"); empty for others.
std::string completionScript(const CommandSpec& root, std::string_view shell);

}  // namespace glimmet::cli
