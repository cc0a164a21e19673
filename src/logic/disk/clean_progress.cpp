#include "logic/disk/clean_progress.h"

#include <cstdio>
#include <filesystem>

#include "core/output/text.h"
#include "core/util/home_path.h"

namespace glimmet {
namespace {

std::string counter(std::size_t number, std::size_t count) {
  return "[" + std::to_string(number) + "/" + std::to_string(count) + "] ";
}

std::string seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", value < 0 ? 0.0 : value);
  return text;
}

std::string programOf(const CleanupStep& step) {
  if (!step.argv || step.argv->empty()) return "its tool";
  return std::filesystem::path(step.argv->front()).filename().string();
}

}  // namespace

std::string stepStartLine(const CleanupStep& step, std::size_t number, std::size_t count,
                          const std::string& home) {
  const auto path = printable(tildePath(step.item.path, home));
  std::string doing;
  switch (step.action) {
    case CleanupStep::Action::trash:
      doing = step.archiveTo ? "Archiving " + path + ", then moving it to the Trash"
                             : "Moving " + path + " to the Trash";
      break;
    case CleanupStep::Action::toolCommand:
      doing = "Running " + printable(programOf(step)) + " to clean " + path;
      break;
    case CleanupStep::Action::gitWorktreeRemove:
      doing = "Removing the worktree " + path + " with git";
      break;
    case CleanupStep::Action::gitWorktreePrune:
      doing = "Pruning the records of the worktree " + path + " with git";
      break;
  }
  return counter(number, count) + doing + "...";
}

std::string stepEndLine(const StepOutcome& outcome, std::size_t number, std::size_t count,
                        double elapsed) {
  std::string ended;
  switch (outcome.kind) {
    case StepOutcome::Kind::trashed:
    case StepOutcome::Kind::archived:
    case StepOutcome::Kind::done:
      ended = "Finished in " + seconds(elapsed) + ".";
      break;
    case StepOutcome::Kind::failed:
      ended = "Failed after " + seconds(elapsed) + ".";
      break;
    case StepOutcome::Kind::timedOut:
      ended = "Timed out after " + seconds(elapsed) + ".";
      break;
    case StepOutcome::Kind::stopped:
      ended = "Stopped after " + seconds(elapsed) + ".";
      break;
    case StepOutcome::Kind::skipped:
      ended = "Skipped.";
      break;
  }
  return counter(number, count) + ended;
}

}  // namespace glimmet
