// The plan as text: what --dry-run prints, and the list shown before the user
// types yes.
#pragma once

#include <string>
#include <vector>

#include "core/cleanup/cleanup_plan.h"

namespace glimmet {

struct CleanupDryRun {
  /// "Would run: …", "Would move to the Trash: …" and "Skipped …: reason".
  static std::vector<std::string> lines(const CleanupPlan& plan);
  /// The plan printed before the confirmation, with sizes and copy-only commands.
  static std::vector<std::string> confirmationLines(const CleanupPlan& plan);
};

}  // namespace glimmet
