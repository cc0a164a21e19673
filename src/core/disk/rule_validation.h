// The safety checks every rule of leftovers.json passes before the file is
// used. A clean command is run as the tool's own command, found by name, never
// through a shell: so it may not name a shell, a deleter, a privilege change or
// a program that runs another program, nor a program by path; and a path
// pattern may not climb out of where it points with "..".
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace glimmet {

struct LeftoverRule;

/// Why a rule can't be used: the short reason ("banned program rm") and the
/// sentence fragment the user reads ("its clean command runs rm, which deletes
/// files itself").
struct RuleProblem {
  std::string reason;
  std::string explanation;
};

/// Why `command` (the clean command or the command that stops a tool first,
/// named by `role`: "clean command" or "stop command") may not run.
std::optional<RuleProblem> commandProblem(const std::vector<std::string>& command,
                                          std::string_view role);

/// Why a path pattern (a `paths` or `agentRoots` entry) can't be used.
std::optional<RuleProblem> pathPatternProblem(const std::string& pattern);

/// The checks of one rule, in file order: `seenIDs` collects ids across the
/// file; `unknownLookup` says whether its resolveWith named no known lookup.
std::optional<RuleProblem> ruleProblem(const LeftoverRule& rule, bool unknownLookup,
                                       std::set<std::string>& seenIDs);

}  // namespace glimmet
