// glimmet hooks: wire AI agents to glimmet through their own configuration.
#pragma once

#include <optional>
#include <string>

#include "cli/command_spec.h"

namespace glimmet::cli {

/// The options install, uninstall and status share: which configurations, and
/// the glimmet the hooks run.
struct HookOptions {
  bool claude = false;
  bool codex = false;
  bool reap = false;
  bool notify = false;
  std::optional<std::string> glimmet;

  std::vector<Parameter> parameters();
};

struct HooksInstall {
  HookOptions options;
  CommandSpec spec();
};

struct HooksUninstall {
  HookOptions options;
  CommandSpec spec();
};

struct HooksStatus {
  HookOptions options;
  CommandSpec spec();
};

struct HooksSnippet {
  std::optional<std::string> agent;
  CommandSpec spec();
};

struct Hooks {
  HooksInstall install;
  HooksUninstall uninstall;
  HooksStatus status;
  HooksSnippet snippet;

  CommandSpec spec();
};

}  // namespace glimmet::cli
