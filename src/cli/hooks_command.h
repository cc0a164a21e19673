// glimmet hooks: wire AI agents to glimmet through their own configuration.
#pragma once

#include <optional>
#include <string>

#include "app/hooks_run.h"
#include "cli/command_spec.h"

namespace glimmet::cli {

/// The options install, uninstall and status share: which configurations, and
/// the glimmet the hooks run.
struct HookOptions {
  HooksRequest request;  ///< the parameters are bound to its fields

  /// One of install, uninstall and status: these options, and `run` with them.
  CommandSpec command(std::string name, std::string abstract,
                      ExitStatus (*run)(const HooksRequest&, RunContext&));

 private:
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
