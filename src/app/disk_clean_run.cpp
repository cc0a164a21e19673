// runDiskClean: the items are picked from the scan cache, planned with the
// rule file as it is now, and, once the user typed yes at a terminal, cleaned
// with interrupts held until the step in progress ends.
#include "app/disk_clean_run.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include "app/leftover_rules_input.h"
#include "core/cleanup/archiver.h"
#include "core/cleanup/cleanup_dry_run.h"
#include "core/cleanup/cleanup_plan.h"
#include "core/cleanup/cleanup_runner.h"
#include "core/disk/disk_paths.h"
#include "core/disk/disk_scan_store.h"
#include "core/process/process_enumerator.h"
#include "core/safety/disk_protected_list.h"
#include "core/safety/liveness_guard.h"
#include "core/settings/glimmet_settings.h"
#include "core/tools/tool_locator.h"
#include "logic/disk/clean_progress.h"
#include "logic/disk/item_choice.h"
#include "platform/file_system.h"
#include "platform/files.h"
#include "platform/login_shell.h"
#include "platform/own_process.h"
#include "platform/paths.h"
#include "platform/signals.h"
#include "platform/trash.h"

namespace glimmet {
namespace {

constexpr int kStandardInput = 0;
constexpr int kStandardError = 2;

// An argument as the path it names: it may be relative to the working
// folder, start with "~/" and end with "/".
std::string argumentPath(const std::string& argument, const std::string& home) {
  std::filesystem::path path = argument;
  if (argument == "~" || argument.starts_with("~/"))
    path = std::filesystem::path(home) / argument.substr(std::min<std::size_t>(argument.size(), 2));
  if (path.is_relative()) path = platform::absolutePath(path);
  return disk_path::normal(path.lexically_normal().string());
}

// Arguments that match nothing are named (on standard output, with everything
// else the command says) so that a typo isn't silently dropped.
std::vector<DiskItem> pickItems(const DiskScanResult& scan, const std::vector<std::string>& wanted,
                                Output& out) {
  std::vector<std::string> paths;
  for (const auto& argument : wanted) paths.push_back(argumentPath(argument, scan.home));
  auto choice = chooseItems(scan, wanted, paths);
  for (const auto& argument : choice.unmatched)
    out.line("Not in the last scan: " + argument);  // line() makes it printable
  return std::move(choice.picked);
}

// The programs that planning these items may look up: git for worktrees, and
// each item's rule's clean command and the command that stops a daemon first
// (from the rule file, never from the scan cache).
std::vector<std::string> programsNamed(const std::vector<DiskItem>& items,
                                       const LeftoverRuleSet& rules) {
  std::vector<std::string> names = {"git"};
  const auto add = [&](const std::optional<std::vector<std::string>>& argv) {
    if (argv && !argv->empty()) names.push_back(argv->front());
  };
  for (const auto& item : items)
    if (const auto* rule = rules.rule(item.ruleID)) {
      add(rule->clean.argv);
      add(rule->clean.stopFirst);
    }
  return names;
}

// The archive folder, checked before anything runs, with its links resolved,
// against every item picked, cleaned or not.
std::string archiveFolderFor(const std::string& given, const std::vector<DiskItem>& items,
                             const DiskProtectedList& protectedList) {
  const auto absolute = platform::absolutePath(given);
  // Resolved as far as it exists: a folder that doesn't exist yet (the
  // archiver makes it) still has the links on its way resolved.
  const auto folder =
      platform::weaklyResolvedPath(absolute).value_or(absolute).lexically_normal().string();
  if (auto problem = archiveFolderProblem({absolute.lexically_normal().string(), folder}, items,
                                          protectedList))
    throw CommandFailure(*problem, ExitStatus::usage);
  return folder;
}

// At a terminal, standard error says when each step starts and ends: a tool's
// clean command or a big move can take minutes. Never when standard error is
// piped, so scripts see the outcomes on standard output only.
CleanupEvents progressEvents(const CleanupPlan& plan, RunContext& context, bool showProgress) {
  struct Progress {
    std::size_t number = 0;
    std::chrono::steady_clock::time_point started;
  };
  auto progress = std::make_shared<Progress>();
  const auto count = plan.steps.size();
  const auto home = plan.home;
  CleanupEvents events;
  events.started = [&context, progress, count, home, showProgress](const CleanupStep& step) {
    ++progress->number;
    progress->started = std::chrono::steady_clock::now();
    context.out.flush();
    if (showProgress)
      context.error << stepStartLine(step, progress->number, count, home) << '\n' << std::flush;
  };
  // Each line is sent as it comes: a tool's clean command can run for
  // minutes, and its output shows it is working.
  events.output = [&context](const CleanupStep&, const std::string& line) {
    context.out.line("  " + line);
    context.out.flush();
  };
  events.finished = [&context, progress, count, showProgress](const CleanupStep& step,
                                                              const StepOutcome& outcome) {
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - progress->started;
    context.out.line(step.item.label + ": " + outcome.text());
    context.out.flush();
    if (showProgress)
      context.error << stepEndLine(outcome, progress->number, count, took.count()) << '\n'
                    << std::flush;
  };
  return events;
}

ExitStatus runPlan(const DiskCleanup& cleanup, RunContext& context) {
  const auto& plan = cleanup.plan;
  for (const auto& line : CleanupDryRun::confirmationLines(plan)) context.out.line(line);
  if (!platform::isTerminal(kStandardInput))
    throw CommandFailure("glimmet disk clean asks you to confirm, so it needs a terminal.",
                         ExitStatus::usage);
  if (plan.steps.empty()) throw CommandFailure("Nothing done.", ExitStatus::nothingFound);
  const auto count = plan.steps.size();
  // The question goes to standard error, which flushes the plan first and keeps
  // standard output to the plan and its outcomes.
  context.error << "\nType yes to clean up " << count << " item" << (count == 1 ? "" : "s") << ": "
                << std::flush;
  std::string answer;
  if (!std::getline(context.input, answer) || !confirmsCleanup(answer))
    throw CommandFailure("Nothing done.", ExitStatus::nothingFound);

  // An interrupt must not leave an item half done: the running command is
  // stopped, a move (one rename) completes, and no further step starts.
  const platform::InterruptGuard interrupt;
  const auto events = progressEvents(plan, context, platform::isTerminal(kStandardError));
  bool anyFailed = false;
  // Standard input is the terminal the yes was typed at (checked above), so
  // a tool that asks its own question asks it there.
  for (const auto& outcome :
       carryOutCleanup(cleanup, context.environment, events, interrupt.flag(), /*atTerminal=*/true))
    anyFailed = anyFailed || outcome.isFailure() || outcome.kind == StepOutcome::Kind::stopped;
  if (interrupt.flag().load()) context.out.line("Stopped. The rest was left as it was.");
  return anyFailed || interrupt.flag().load() ? ExitStatus::partial : ExitStatus::ok;
}

}  // namespace

DiskCleanup planDiskCleanup(const DiskCleanRequest& request, RunContext& context) {
  const auto& environment = context.environment;
  const auto rules = loadLeftoverRules(context);
  const auto shared = platform::sharedDataDir(environment);
  const auto cache = DiskCache::load(shared);
  if (!cache.lastResult)
    throw CommandFailure("No disk scan yet. Run glimmet disk scan first.",
                         ExitStatus::nothingFound);
  const auto& scan = *cache.lastResult;
  const auto items = pickItems(scan, request.items, context.out);
  if (items.empty())
    throw CommandFailure("None of those are in the last scan.", ExitStatus::nothingFound);

  const auto diskRules = GlimmetSettings::load(JSONStore(shared)).disk;
  const auto now = std::chrono::system_clock::now();
  const auto uid = platform::effectiveUID();
  ProcessEnumerator enumerator(uid);
  const auto snapshot = enumerator.snapshot(now);
  const auto liveness =
      LivenessInput::gather(snapshot, uid, platform::ownPID(), scan.home, scan.home);

  // Programs are found as the user's login shell finds them, asked about all
  // at once: one shell start for the whole plan.
  const POSIXLauncher launcher;
  const LoginShellLocator locator(platform::loginShell(environment), environment, launcher);
  locator.prefetch(programsNamed(items, rules));
  const DiskProtectedList protectedList(
      scan.home, diskRules.protectedPaths, {shared.string()},
      {platform::homeTrashFolder(environment, scan.home).string()});
  std::optional<std::string> archiveFolder;
  if (request.archiveTo) archiveFolder = archiveFolderFor(*request.archiveTo, items, protectedList);
  const CleanupPlanner planner(protectedList, rules, locator);
  auto plan = planner.plan(items, scan.home, liveness, now);
  if (archiveFolder) archiveAgentHistory(plan, *archiveFolder);
  return {std::move(plan), shared};
}

std::vector<StepOutcome> carryOutCleanup(const DiskCleanup& cleanup, const Environment& environment,
                                         const CleanupEvents& events, const std::atomic<bool>& stop,
                                         bool atTerminal) {
  const POSIXLauncher launcher;
  const platform::SystemTrash trash(environment);
  const CleanupRunner runner(CleanupLog(cleanup.sharedFolder), launcher, trash,
                             CleanupLogEntry::Trigger::cli, stop, atTerminal);
  return runner.run(cleanup.plan, events);
}

ExitStatus runDiskClean(const DiskCleanRequest& request, RunContext& context) {
  const auto cleanup = planDiskCleanup(request, context);
  if (request.dryRun) {
    for (const auto& line : CleanupDryRun::lines(cleanup.plan)) context.out.line(line);
    // Nothing would run: the same status as a clean that did nothing.
    return cleanup.plan.steps.empty() ? ExitStatus::nothingFound : ExitStatus::ok;
  }
  return runPlan(cleanup, context);
}

}  // namespace glimmet
