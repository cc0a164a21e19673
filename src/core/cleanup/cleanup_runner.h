// Carrying out a cleanup plan one step at a time: every action is logged before
// and after it happens, a step that can't be logged doesn't run, tools run
// their own commands with time limits, and everything else moves to the Trash.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/cleanup/archiver.h"
#include "core/cleanup/cleanup_log.h"
#include "core/cleanup/cleanup_plan.h"
#include "core/tools/process_launcher.h"
#include "platform/trash.h"

namespace glimmet {

struct StepOutcome {
  enum class Kind { trashed, archived, failed, skipped, done, stopped, timedOut };
  Kind kind = Kind::done;
  std::string reason;  ///< for failed and skipped
  std::optional<platform::TrashedItem> trashed;

  /// "moved to Trash", "failed: exit 3", "timed out", ...
  std::string text() const;
  bool isFailure() const { return kind == Kind::failed || kind == Kind::timedOut; }
};

struct CleanupEvents {
  std::function<void(const CleanupStep&)> started = [](const CleanupStep&) {};
  std::function<void(const CleanupStep&, const std::string&)> output = [](const CleanupStep&,
                                                                          const std::string&) {};
  std::function<void(const CleanupStep&, const StepOutcome&)> finished = [](const CleanupStep&,
                                                                            const StepOutcome&) {};
};

class CleanupRunner {
 public:
  /// `stop` is set when the user interrupts: the running command is stopped,
  /// a move in progress completes (it is one rename), and no further step starts.
  /// `atTerminal`: the user is at a terminal (after typing yes there), so a
  /// command that asks its own question runs with it; otherwise such a
  /// command is skipped with its command line to copy.
  CleanupRunner(CleanupLog log, const POSIXLauncher& launcher, const platform::SystemTrash& trash,
                CleanupLogEntry::Trigger trigger, const std::atomic<bool>& stop,
                bool atTerminal = false)
      : log_(std::move(log)),
        launcher_(launcher),
        trash_(trash),
        trigger_(trigger),
        stop_(stop),
        atTerminal_(atTerminal) {}

  /// One outcome per step that was reached, in plan order.
  std::vector<StepOutcome> run(const CleanupPlan& plan, const CleanupEvents& events) const;

 private:
  StepOutcome runStep(const CleanupPlan& plan, const CleanupStep& step,
                      const CleanupEvents& events) const;
  StepOutcome runCommand(const CleanupStep& step, const std::vector<std::string>& argv,
                         const CleanupEvents& events, bool atTerminal = false) const;
  StepOutcome moveToTrash(const CleanupStep& step) const;
  StepOutcome archiveThenTrash(const CleanupPlan& plan, const CleanupStep& step) const;

  CleanupLog log_;
  const POSIXLauncher& launcher_;
  const platform::SystemTrash& trash_;
  Archiver archiver_;
  CleanupLogEntry::Trigger trigger_;
  const std::atomic<bool>& stop_;
  bool atTerminal_ = false;
};

}  // namespace glimmet
