// Rule checks. The deny lists are by kind, so that the message says what the
// program would do. A program is compared by its last path component, so that
// /bin/rm is refused as rm; a name that differs in any way (rm2, RM) is another
// program. Programs with a version in their name (python3.11, perl5.36) count
// as the interpreter they are.
#include "core/disk/rule_validation.h"

#include <algorithm>
#include <array>

#include "core/disk/leftover_rules.h"

namespace glimmet {
namespace {

using Match = LeftoverRule::Match;

struct DeniedKind {
  std::vector<std::string_view> programs;
  std::string_view why;  ///< follows "runs NAME, "
};

// Shells run whatever text they are given.
const DeniedKind kShells{{"sh", "bash", "dash", "zsh", "fish", "ksh", "mksh", "yash", "ash", "csh",
                          "tcsh", "rbash", "busybox", "toybox", "pwsh", "nu", "xonsh", "elvish"},
                         ""};
// These delete, overwrite or move files themselves: the Trash or the tool's own
// command does that, never a rule.
const DeniedKind kFileChangers{
    {"rm", "rmdir", "unlink", "srm", "shred", "wipe", "find", "mv", "cp", "dd", "truncate", "rsync",
     "ln", "chmod", "chown", "chgrp", "install", "tee", "sed"},
    "which changes files itself"};
// These run as someone else.
const DeniedKind kPrivilege{{"sudo", "doas", "su", "pkexec", "runuser", "setpriv", "chroot"},
                            "which runs commands as another user"};
// These run the program named in their arguments, which then escapes every
// check made of the first word.
const DeniedKind kRunners{
    {"env",     "xargs",       "nohup",   "setsid",   "timeout", "nice",    "ionice", "stdbuf",
     "flock",   "unshare",     "nsenter", "watch",    "time",    "command", "exec",   "eval",
     "builtin", "systemd-run", "script",  "parallel", "taskset", "chrt",    "strace", "ltrace",
     "gdb",     "ssh",         "sshpass", "awk",      "gawk",    "mawk",    "nawk"},
    "which runs other commands"};
// git runs only through the worktree actions, which turn its hooks off.
const DeniedKind kGit{{"git"}, "which Glimmet runs only to remove worktrees, with its hooks off"};

// Interpreters may run their own modules (python3 -m pip) but not code given
// inline on the command line.
struct Interpreter {
  std::string_view name;
  std::vector<std::string_view> inlineFlags;
};
const std::array<Interpreter, 9> kInterpreters = {{
    {"python", {"-c"}},
    {"perl", {"-e", "-E"}},
    {"ruby", {"-e"}},
    {"node", {"-e", "--eval", "-p", "--print"}},
    {"nodejs", {"-e", "--eval", "-p", "--print"}},
    {"php", {"-r"}},
    {"lua", {"-e"}},
    {"tclsh", {}},
    {"osascript", {"-e"}},
}};

// Flags that skip a tool's own questions or widen what it removes.
constexpr std::array<std::string_view, 8> kBannedArguments = {"--force",   "-f",    "-rf",   "-fr",
                                                              "--volumes", "erase", "--yes", "-y"};

std::string lastComponent(const std::string& program) {
  const auto slash = program.rfind('/');
  return slash == std::string::npos ? program : program.substr(slash + 1);
}

// "python3.11" is "python", "perl5.36" is "perl"; "python-config" stays as it is.
std::string withoutVersion(std::string name) {
  while (!name.empty() && ((name.back() >= '0' && name.back() <= '9') || name.back() == '.'))
    name.pop_back();
  return name;
}

bool listed(const DeniedKind& kind, const std::string& name) {
  return std::find(kind.programs.begin(), kind.programs.end(), name) != kind.programs.end();
}

RuleProblem bannedProgram(const std::string& program, std::string_view role,
                          const std::string& explanation) {
  return {"banned program " + program, "its " + std::string(role) + " " + explanation};
}

std::optional<RuleProblem> deniedProgram(const std::string& program, std::string_view role) {
  const auto name = lastComponent(program);
  if (listed(kShells, name)) return bannedProgram(program, role, "runs a shell (" + name + ")");
  for (const auto* kind : {&kFileChangers, &kPrivilege, &kRunners, &kGit})
    if (listed(*kind, name))
      return bannedProgram(program, role, "runs " + name + ", " + std::string(kind->why));
  return std::nullopt;
}

std::optional<RuleProblem> inlineCode(const std::vector<std::string>& command,
                                      std::string_view role) {
  const auto shown = lastComponent(command.front());
  const auto name = withoutVersion(shown);
  for (const auto& interpreter : kInterpreters) {
    if (interpreter.name != name) continue;
    // tclsh reads a script from its arguments or its input: nothing of its own to run.
    if (interpreter.inlineFlags.empty())
      return bannedProgram(command.front(), role, "runs " + shown + ", which runs other commands");
    for (auto argument = command.begin() + 1; argument != command.end(); ++argument)
      if (std::find(interpreter.inlineFlags.begin(), interpreter.inlineFlags.end(), *argument) !=
          interpreter.inlineFlags.end())
        return RuleProblem{"banned argument " + *argument, "its " + std::string(role) +
                                                               " runs code given inline (" + shown +
                                                               " " + *argument + ")"};
  }
  return std::nullopt;
}

// A single folder name: no separator, and not "." or "..".
std::optional<RuleProblem> nameProblem(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
    return RuleProblem{"not a folder name " + name,
                       "\"" + name + "\" isn't one plain file or folder name"};
  return std::nullopt;
}

// A name prefix may be anything that can start a name, but not hold a separator.
std::optional<RuleProblem> prefixProblem(const std::string& prefix) {
  if (prefix.find('/') != std::string::npos)
    return RuleProblem{"not a folder name " + prefix,
                       "\"" + prefix + "\" isn't the start of one file or folder name"};
  return std::nullopt;
}

std::optional<RuleProblem> firstProblem(
    const std::vector<std::string>& values,
    std::optional<RuleProblem> (*check)(const std::string& value)) {
  for (const auto& value : values)
    if (auto problem = check(value)) return problem;
  return std::nullopt;
}

}  // namespace

std::optional<RuleProblem> commandProblem(const std::vector<std::string>& command,
                                          std::string_view role) {
  if (command.empty()) return std::nullopt;
  const auto& program = command.front();
  if (auto denied = deniedProgram(program, role)) return denied;
  if (program.empty() || program.front() == '-')
    return RuleProblem{"banned program " + program,
                       "its " + std::string(role) + " doesn't start with a program name"};
  // Programs are found by name on the user's PATH; a path could name anything,
  // and a placeholder would let the scanned folder pick the program.
  if (program.find('/') != std::string::npos)
    return RuleProblem{"program by path " + program,
                       "its " + std::string(role) + " names its program by path (" + program +
                           "); programs are named and found on your PATH"};
  if (program.find('{') != std::string::npos)
    return RuleProblem{
        "program by placeholder " + program,
        "its " + std::string(role) + " takes its program from a placeholder (" + program + ")"};
  if (auto inlined = inlineCode(command, role)) return inlined;
  for (const auto& argument : command)
    if (std::find(kBannedArguments.begin(), kBannedArguments.end(), argument) !=
        kBannedArguments.end())
      return RuleProblem{"banned argument " + argument,
                         "its " + std::string(role) + " passes " + argument +
                             ", which skips the tool's own questions or removes more"};
  return std::nullopt;
}

std::optional<RuleProblem> pathPatternProblem(const std::string& pattern) {
  if (pattern.empty() ||
      (pattern.front() != '/' && pattern.front() != '~' && pattern.front() != '{'))
    return RuleProblem{"relative path " + pattern,
                       "its path \"" + pattern + "\" doesn't start with ~, / or a {TOKEN}"};
  for (std::size_t start = 0; start <= pattern.size();) {
    auto end = pattern.find('/', start);
    if (end == std::string::npos) end = pattern.size();
    if (pattern.compare(start, end - start, "..") == 0)
      return RuleProblem{"path with ..",
                         "its path \"" + pattern + "\" climbs out of a folder with .."};
    start = end + 1;
  }
  return std::nullopt;
}

std::optional<RuleProblem> ruleProblem(const LeftoverRule& rule, bool unknownLookup,
                                       std::set<std::string>& seenIDs) {
  if (!seenIDs.insert(rule.id).second)
    return RuleProblem{"duplicate id", "an earlier rule has the same id"};
  if (unknownLookup)
    return RuleProblem{"unknown lookup", "its resolveWith names a lookup Glimmet doesn't know"};
  if (rule.clean.argv)
    if (auto problem = commandProblem(*rule.clean.argv, "clean command")) return problem;
  if (rule.clean.stopFirst)
    if (auto problem = commandProblem(*rule.clean.stopFirst, "stop command")) return problem;
  if (rule.clean.kind == CleanAction::Kind::toolCommand &&
      (!rule.clean.argv || rule.clean.argv->empty()))
    return RuleProblem{"empty argv", "its clean command is empty"};
  if (rule.safety == DiskSafety::reportOnly && rule.clean.kind != CleanAction::Kind::none)
    return RuleProblem{"report-only with an action", "it is report-only but has a clean action"};
  switch (rule.match) {
    case Match::docker:
      if (!rule.dockerKind)
        return RuleProblem{"no docker kind", "it matches Docker but names no dockerKind"};
      break;
    case Match::project:
      if (rule.names.empty() && rule.namePrefixes.empty())
        return RuleProblem{"no names", "it matches projects but names no folders"};
      break;
    case Match::path:
    case Match::children:
      if (rule.paths.empty()) return RuleProblem{"no paths", "it names no paths"};
      break;
    case Match::worktree:
      break;
  }
  if (auto problem = firstProblem(rule.paths, pathPatternProblem)) return problem;
  if (auto problem = firstProblem(rule.agentRoots, pathPatternProblem)) return problem;
  for (const auto* names : {&rule.names, &rule.siblings, &rule.inside})
    if (auto problem = firstProblem(*names, nameProblem)) return problem;
  if (auto problem = firstProblem(rule.namePrefixes, prefixProblem)) return problem;
  if (rule.childPrefix)
    if (auto problem = prefixProblem(*rule.childPrefix)) return problem;
  return std::nullopt;
}

}  // namespace glimmet
