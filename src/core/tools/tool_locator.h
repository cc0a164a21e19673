// Finding the programs that clean commands and cache lookups name. Planning
// and the disk scan ask through this seam so that tests can answer with fixed
// paths, and the commands can ask the user's login shell, which knows the PATH
// that version managers and installers set up in its login files.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/tools/process_launcher.h"
#include "platform/environment.h"

namespace glimmet {

class ToolLocator {
 public:
  virtual ~ToolLocator() = default;
  /// The absolute path of the executable `name`, or nothing when it isn't there.
  virtual std::optional<std::string> locate(const std::string& name) const = 0;
};

/// Looks programs up along a colon-separated search path, as a shell would.
/// A name with a slash is taken as a path and only checked. Relative entries
/// of the search path are ignored: a clean command never runs something found
/// relative to wherever the tool happened to start.
class SearchPathLocator : public ToolLocator {
 public:
  explicit SearchPathLocator(std::string searchPath) : searchPath_(std::move(searchPath)) {}
  std::optional<std::string> locate(const std::string& name) const override;

 private:
  std::string searchPath_;
};

/// How a login shell is asked for `command -v`: the POSIX family and fish
/// differ in command substitution. Other shells (tcsh takes -l only alone,
/// nu, xonsh) aren't asked at all.
enum class ShellDialect { posix, fish };

/// By the shell's file name: sh, bash, zsh, dash, ksh, mksh, yash or fish.
std::optional<ShellDialect> shellDialect(const std::filesystem::path& shell);

/// Names the shell may be asked about: a plain word of letters, digits and
/// "._+-", not starting with "-", so it means the same quoted or not.
bool isPlainToolName(std::string_view name);

/// One `printf '%s=%s\n'` per name, joined by "; ", for `<shell> -lc`.
std::string toolLookupScript(const std::vector<std::string>& names, ShellDialect dialect);

/// The answers in what the shell printed. Login files may print anything, so
/// only lines "name=/absolute/path" for the names asked about count, and the
/// last one for a name decides (the script runs after the login files). A
/// name whose last line isn't an absolute path (an alias, a function, nothing)
/// has no answer.
std::map<std::string, std::string> parseToolLookupOutput(const std::vector<std::string>& lines,
                                                         const std::vector<std::string>& names);

/// Where to look when the shell gives no answer: the tool's own PATH, then the
/// usual per-user install folders under `home`, then the system folders.
std::string fallbackSearchPath(const Environment& environment, const std::string& home);

/// Asks the login shell, once per batch of names, within a time limit; a
/// shell that can't start, hangs or fails stops being asked. Whatever it
/// doesn't answer is looked up along the fallback search path. Answers are
/// kept for the life of the locator.
class LoginShellLocator : public ToolLocator {
 public:
  static constexpr std::chrono::seconds kShellTimeLimit{5};

  LoginShellLocator(std::filesystem::path shell, Environment environment,
                    const POSIXLauncher& launcher);

  /// Asks about all of `names` in one shell run, so that the locate calls
  /// that follow are answered from what it said.
  void prefetch(const std::vector<std::string>& names) const;
  std::optional<std::string> locate(const std::string& name) const override;

 private:
  void askShell(const std::vector<std::string>& names) const;

  std::filesystem::path shell_;
  Environment environment_;
  const POSIXLauncher& launcher_;
  std::string home_;
  SearchPathLocator fallback_;

  mutable std::mutex mutex_;
  mutable bool shellWorks_ = true;
  mutable std::map<std::string, std::optional<std::string>, std::less<>> shellAnswers_;
  mutable std::map<std::string, std::optional<std::string>, std::less<>> answers_;
};

}  // namespace glimmet
