// The plan as a zsh script the user reads and runs in a terminal. Only command
// steps run from the script; moves to the Trash stay with Glimmet so that they
// can be put back, and are listed as comments.
#pragma once

#include <string>

#include "core/cleanup/cleanup_plan.h"

namespace glimmet {

struct CleanupScript {
  /// The script text, ending in one line feed. `now` is shown in local time.
  static std::string render(const CleanupPlan& plan, SystemTime now);
  /// "cleanup-2026-12-07-091500.command", local time.
  static std::string fileName(SystemTime now);
  /// "7 Dec 2026 09:15 AEDT": day, short month, year, time and zone abbreviation.
  static std::string madeAt(SystemTime now);
};

}  // namespace glimmet
