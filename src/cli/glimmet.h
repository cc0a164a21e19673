// The root command: every subcommand's value, and the tree built from them in
// help order.
#pragma once

#include "cli/agents_command.h"
#include "cli/apps_command.h"
#include "cli/companion_command.h"
#include "cli/disk_command.h"
#include "cli/ghosts_command.h"
#include "cli/hooks_command.h"
#include "cli/kill_command.h"
#include "cli/ls_command.h"
#include "cli/mcp_command.h"
#include "cli/notify_command.h"
#include "cli/ports_command.h"
#include "cli/protect_command.h"
#include "cli/reap_command.h"
#include "cli/requests_command.h"
#include "cli/settings_command.h"
#include "cli/status_command.h"
#include "cli/stop_command.h"
#include "cli/ui_command.h"
#include "cli/version_command.h"

namespace glimmet::cli {

/// Holds the option fields that the tree's parameters are bound to, so it stays
/// where it was made: no copies, no moves.
class Glimmet {
 public:
  Glimmet() = default;
  Glimmet(const Glimmet&) = delete;
  Glimmet& operator=(const Glimmet&) = delete;

  CommandSpec spec();

 private:
  List ls_;
  Ghosts ghosts_;
  Kill kill_;
  Reap reap_;
  Protect protect_;
  Unprotect unprotect_;
  Disk disk_;
  Apps apps_;
  Status status_;
  Ports ports_;
  Agents agents_;
  Stop stop_;
  Ui ui_;
  MCP mcp_;
  Notify notify_;
  Companion companion_;
  Requests requests_;
  Settings settings_;
  Hooks hooks_;
  Version version_;
};

}  // namespace glimmet::cli
