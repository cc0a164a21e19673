// glimmet hooks install, uninstall, status and snippet: wiring AI agents to
// glimmet through their own configuration (Claude Code hooks, the Codex notify
// line), and shell functions for the agents without hooks.
#pragma once

#include <optional>
#include <string>

#include "app/run_context.h"
#include "core/error.h"
#include "logic/hooks/hook_targets.h"

namespace glimmet {

struct HooksRequest {
  HookSelection selection;
  /// The glimmet the hooks run; this one when not given.
  std::optional<std::string> glimmet;
};

struct HooksSnippetRequest {
  std::optional<std::string> agent;  ///< a name or command; every agent when absent
};

/// Each configuration is its own file: a refusal for one is said once and the
/// others still go ahead; the command then ends with the refusal's status.
/// A glimmet path that is relative or has no file is a UsageError first.
ExitStatus runHooksInstall(const HooksRequest& request, RunContext& context);
ExitStatus runHooksUninstall(const HooksRequest& request, RunContext& context);
ExitStatus runHooksStatus(const HooksRequest& request, RunContext& context);
/// An agent without a snippet is a UsageError.
ExitStatus runHooksSnippet(const HooksSnippetRequest& request, RunContext& context);

}  // namespace glimmet
