#include "core/cleanup/cleanup_dry_run.h"

#include "core/cleanup/archiver.h"
#include "core/disk/shell_words.h"
#include "core/output/byte_format.h"
#include "core/util/home_path.h"

namespace glimmet {
namespace {

// "copy to ~/Archive/claude/projects/x, then " for an archived step.
std::string archiveLead(const CleanupStep& step, const std::string& home) {
  if (!step.archiveTo) return {};
  return "copy to " +
         tildePath(Archiver::target(step.item.path, home, *step.archiveTo).string(), home) +
         ", then ";
}

}  // namespace

std::vector<std::string> CleanupDryRun::lines(const CleanupPlan& plan) {
  std::vector<std::string> out;
  for (const auto& step : plan.steps) {
    if (step.argv)
      out.push_back("Would run: " + joinShellWords(*step.argv));
    else if (step.archiveTo)
      out.push_back("Would " + archiveLead(step, plan.home) +
                    "move to the Trash: " + tildePath(step.item.path, plan.home));
    else
      out.push_back("Would move to the Trash: " + tildePath(step.item.path, plan.home));
    if (step.note) out.push_back("  " + *step.note);
  }
  for (const auto& skipped : plan.skipped)
    out.push_back("Skipped " + skipped.item.label + ": " + skipped.reason);
  return out;
}

std::vector<std::string> CleanupDryRun::confirmationLines(const CleanupPlan& plan) {
  std::vector<std::string> out;
  for (const auto& step : plan.steps) {
    const auto size = "  (about " + fileStyleBytes(step.item.bytes) + ")";
    if (step.argv) {
      auto line = step.item.label + ": " + joinShellWords(*step.argv) + size;
      if (step.item.clean.terminalOnly.value_or(false)) line += "  [asks you to confirm]";
      out.push_back(std::move(line));
    } else if (step.archiveTo) {
      out.push_back("Will " + archiveLead(step, plan.home) +
                    "move to the Trash: " + tildePath(step.item.path, plan.home) + size);
    } else {
      out.push_back("Will move to the Trash: " + tildePath(step.item.path, plan.home) + size);
    }
    if (step.note) out.push_back("  " + *step.note);
  }
  for (const auto& skipped : plan.skipped)
    out.push_back("Skipped " + skipped.item.label + ": " + skipped.reason);
  for (const auto& copy : plan.copyOnly) out.push_back("Copy and run yourself: " + copy.command);
  return out;
}

}  // namespace glimmet
