// The script an interpreter runs. An agent installed with npm, pip or a gem runs
// as "node /usr/local/bin/gemini": the kernel names the interpreter, and only the
// script (often a symlink into node_modules) says which program it is. Pure: the
// snapshot resolves the script on disk, the matcher reads names from argv.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace glimmet {

enum class Interpreter { node, bun, deno, python, ruby, perl };

/// The interpreter a program file is named after: "node", "nodejs", "bun", "deno",
/// "python", "python3", "python3.12", "pypy3", "ruby", "ruby3.1", "perl", "perl5.36.0".
/// A version suffix (digits and dots) is allowed; anything else is no interpreter.
std::optional<Interpreter> interpreterNamed(std::string_view fileName);

/// The position in `argv` (argument 0 first) of the script `interpreter` runs: the
/// first argument after argument 0 that is not an option, skipping the values of
/// its options that take one separately (node's "-r x", python's "-W x") and the
/// "run" subcommand of deno and bun. Nothing when the program comes from elsewhere:
/// code on the command line ("-e", "-c", "-p"), standard input ("-"), a module
/// ("python -m aider" names a module, not a file: its signatures match the command
/// line instead) or a subcommand that runs no file ("bun install", "deno task").
std::optional<std::size_t> scriptArgumentIndex(Interpreter interpreter,
                                               std::span<const std::string> argv);

/// The script argument of a process, as written on its command line, when its
/// executable (or, failing that, argument 0) is named after an interpreter.
std::optional<std::string_view> scriptArgument(std::optional<std::string_view> executablePath,
                                               std::span<const std::string> argv);

}  // namespace glimmet
