#include "core/cleanup/cleanup_runner.h"

#include <filesystem>

#include "core/disk/shell_words.h"
#include "core/util/home_path.h"
#include "platform/system_error.h"

namespace glimmet {
namespace {

StepOutcome failed(std::string reason) {
  return {StepOutcome::Kind::failed, std::move(reason)};
}
StepOutcome skipped(std::string reason) {
  return {StepOutcome::Kind::skipped, std::move(reason)};
}

std::string programName(const std::vector<std::string>& argv) {
  return std::filesystem::path(argv.front()).filename().string();
}

std::string workingFolder(const DiskItem& item) {
  // git runs from the main repository: a worktree's own folder is what goes,
  // and a gone one can't be entered at all.
  if (item.clean.isGitWorktree() && item.mainRepoPath) return *item.mainRepoPath;
  if (item.projectPath) return *item.projectPath;
  const auto parent = std::filesystem::path(item.path).parent_path();
  return parent.empty() || !item.isAbsolute() ? "/" : parent.string();
}

}  // namespace

std::string StepOutcome::text() const {
  switch (kind) {
    case Kind::trashed:
      return "moved to Trash";
    case Kind::archived:
      return "archived and moved to Trash";
    case Kind::failed:
      return "failed: " + reason;
    case Kind::skipped:
      return "skipped: " + reason;
    case Kind::done:
      return "done";
    case Kind::stopped:
      return "stopped";
    case Kind::timedOut:
      return "timed out";
  }
  return "done";
}

std::vector<StepOutcome> CleanupRunner::run(const CleanupPlan& plan,
                                            const CleanupEvents& events) const {
  std::vector<StepOutcome> outcomes;
  for (const auto& step : plan.steps) {
    if (stop_.load()) break;
    events.started(step);
    auto outcome = runStep(plan, step, events);
    events.finished(step, outcome);
    outcomes.push_back(std::move(outcome));
  }
  return outcomes;
}

StepOutcome CleanupRunner::runStep(const CleanupPlan& plan, const CleanupStep& step,
                                   const CleanupEvents& events) const {
  const bool asks = step.item.clean.terminalOnly.value_or(false);
  const bool withUser = atTerminal_ || trigger_ == CleanupLogEntry::Trigger::terminal;
  if (asks && !withUser)
    return skipped("this tool asks you to confirm, so run it yourself: " +
                   (step.argv ? joinShellWords(*step.argv) : std::string()));

  CleanupLogEntry entry{.time = std::chrono::system_clock::now(),
                        .planID = plan.id,
                        .ruleID = step.item.ruleID,
                        .path = step.item.path,
                        .bytes = step.item.bytes,
                        .action = std::string(rawValue(step.action)),
                        .trigger = trigger_};
  try {
    log_.append(entry);
  } catch (const std::exception&) {
    return skipped(step.argv ? "couldn't write the cleanup log, so nothing ran"
                             : "couldn't write the cleanup log, so nothing moved");
  }

  StepOutcome outcome;
  if (step.stopFirst) {
    auto stopped = runCommand(step, *step.stopFirst, events);
    if (stopped.kind != StepOutcome::Kind::done) {
      const auto why = stopped.kind == StepOutcome::Kind::failed ? stopped.reason : stopped.text();
      outcome =
          failed(programName(*step.stopFirst) + " didn't stop (" + why + "), so nothing moved");
    }
  }
  if (outcome.kind != StepOutcome::Kind::failed) {
    if (step.argv)
      outcome = runCommand(step, *step.argv, events, asks && atTerminal_);
    else
      outcome = step.archiveTo ? archiveThenTrash(plan, step) : moveToTrash(step);
  }

  entry.time = std::chrono::system_clock::now();
  entry.phase = CleanupLogEntry::Phase::result;
  entry.result = outcome.text();
  if (outcome.trashed) {
    entry.trashPath = outcome.trashed->trashPath.string();
    entry.trashIdentity = outcome.trashed->identity;
  }
  try {
    log_.append(entry);
  } catch (const std::exception&) {
    // The attempt line stands: the application treats it as unfinished.
  }
  return outcome;
}

StepOutcome CleanupRunner::runCommand(const CleanupStep& step, const std::vector<std::string>& argv,
                                      const CleanupEvents& events, bool atTerminal) const {
  SpawnedProcess process;
  try {
    process = launcher_.spawn(argv, workingFolder(step.item), nullptr, atTerminal);
  } catch (const platform::SystemError&) {
    return failed("couldn't start " + programName(argv));
  }
  const auto deadline =
      POSIXLauncher::Clock::now() + std::chrono::duration_cast<POSIXLauncher::Clock::duration>(
                                        std::chrono::duration<double>(step.timeout));
  const auto exit = launcher_.wait(
      process, deadline, [&](const std::string& line) { events.output(step, line); }, &stop_);
  switch (exit.kind) {
    case ProcessExit::Kind::exited:
      if (exit.code == 0) return {StepOutcome::Kind::done, {}};
      return failed("exit " + std::to_string(exit.code));
    case ProcessExit::Kind::signalled:
      return failed("signal " + std::to_string(exit.code));
    case ProcessExit::Kind::timedOut:
      return {StepOutcome::Kind::timedOut, {}};
    case ProcessExit::Kind::stopped:
      return {StepOutcome::Kind::stopped, {}};
  }
  return failed("exit " + std::to_string(exit.code));
}

namespace {

std::string_view changeReason(platform::ItemChange change) {
  switch (change) {
    case platform::ItemChange::gone:
      return skip_reason::alreadyGone;
    case platform::ItemChange::linkOnTheWay:
      return skip_reason::linkOnTheWay;
    case platform::ItemChange::isLink:
      return skip_reason::nowSymlink;
    case platform::ItemChange::otherItem:
      return skip_reason::changed;
  }
  return skip_reason::changed;
}

}  // namespace

StepOutcome CleanupRunner::archiveThenTrash(const CleanupPlan& plan,
                                            const CleanupStep& step) const {
  if (!step.item.identity) return skipped(std::string(skip_reason::noIdentity));
  std::filesystem::path copy;
  try {
    copy = archiver_.archive(step.item, plan.home, *step.archiveTo);
  } catch (const ArchiveItemChanged& changed) {
    return skipped(std::string(changeReason(changed.change())));
  } catch (const ArchiveError& error) {
    return failed(error.what());
  }
  auto outcome = moveToTrash(step);
  if (outcome.kind == StepOutcome::Kind::trashed) {
    outcome.kind = StepOutcome::Kind::archived;
  } else if (outcome.kind == StepOutcome::Kind::failed) {
    outcome.reason += "; the copy is at " + tildePath(copy.string(), plan.home);
  }
  return outcome;
}

// The check that the item is still the one planned happens inside the move,
// through the descriptor the move renames from: a check made here by path
// would leave a moment in which a folder on the way could become a link.
StepOutcome CleanupRunner::moveToTrash(const CleanupStep& step) const {
  if (!step.item.identity) return skipped(std::string(skip_reason::noIdentity));
  try {
    auto trashed =
        trash_.moveToTrash(step.item.path, std::chrono::system_clock::now(), step.item.identity);
    return {StepOutcome::Kind::trashed, {}, std::move(trashed)};
  } catch (const platform::TrashItemChanged& changed) {
    return skipped(std::string(changeReason(changed.change())));
  } catch (const platform::TrashError& error) {
    return failed(error.what());
  }
}

}  // namespace glimmet
