// glimmet disk, disk scan and disk clean.
#include "cli/disk_command.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>

#include "core/cleanup/archiver.h"
#include "core/cleanup/cleanup_dry_run.h"
#include "core/cleanup/cleanup_plan.h"
#include "core/cleanup/cleanup_runner.h"
#include "core/cleanup/disk_protected_list.h"
#include "core/cleanup/liveness_guard.h"
#include "core/disk/disk_scan_report.h"
#include "core/disk/disk_scan_store.h"
#include "core/kill/kill_log.h"
#include "core/output/text.h"
#include "core/process/process_enumerator.h"
#include "core/settings/glimmet_settings.h"
#include "core/util/home_path.h"
#include "platform/files.h"
#include "platform/login_shell.h"
#include "platform/paths.h"
#include "platform/trash.h"

namespace glimmet::cli {
namespace {

// The home trash never counts as part of the home folder: it is measured once
// as the Trash's size, and items are never cleaned from it.
std::string homeTrash(const Environment& environment, const std::string& home) {
  if (auto data = environment.absolutePath("XDG_DATA_HOME")) return *data + "/Trash";
  return home + "/.local/share/Trash";
}

// Without the rule file neither scan nor clean can tell what anything is. A
// file with a rule that fails its checks isn't used at all, and says which
// rule and why rather than that nothing was found.
LeftoverRuleSet leftoverRules(const CommandContext& context) {
  std::filesystem::path file;
  try {
    return LeftoverRuleSet::find(context.environment, context.executable, &file);
  } catch (const RuleError& error) {
    throw CommandFailure(error.userMessage(file.string()), ExitStatus::cannotStart);
  } catch (const RuleFileError&) {
    throw CommandFailure(std::string(kMissingLeftoverRulesMessage), ExitStatus::cannotStart);
  }
}

// The folder --home names, absolute and with its links resolved. Anything but
// an existing folder is a usage error: scanning nothing would report an empty
// home as if it were clean.
std::string fixtureHome(const std::string& given) {
  if (given.empty()) throw CommandFailure("--home needs a folder.", ExitStatus::usage);
  std::error_code error;
  const auto absolute = std::filesystem::absolute(given, error);
  const auto status = std::filesystem::status(absolute, error);
  if (status.type() == std::filesystem::file_type::not_found)
    throw CommandFailure("--home: there's no folder at " + printable(given) + ".",
                         ExitStatus::usage);
  if (status.type() != std::filesystem::file_type::directory)
    throw CommandFailure("--home: " + printable(given) + " isn't a folder.", ExitStatus::usage);
  const auto resolved = std::filesystem::canonical(absolute, error);
  auto home = (error ? absolute : resolved).lexically_normal().string();
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home;
}

ExitStatus runDiskScan(const DiskScan& command, CommandContext& context) {
  const auto& environment = context.environment;
  const auto rules = leftoverRules(context);
  const auto shared = platform::sharedDataDir(environment);
  auto diskRules = GlimmetSettings::load(JSONStore(shared)).disk;
  if (command.includeProtectedFolders) diskRules.includeProtectedFolders = true;

  const bool fixture = command.home.has_value();
  DiskScanOptions options;
  options.rules = diskRules.clamped();
  options.environment = environment;
  options.now = std::chrono::system_clock::now();
  if (fixture) {
    options.home = fixtureHome(*command.home);
    options.minimumProjectItemBytes = 0;
  } else {
    options.home = platform::homeDir(environment).lexically_normal().string();
  }
  while (options.home.size() > 1 && options.home.back() == '/') options.home.pop_back();
  options.settingsFolders = {shared.string()};
  // A fixture home has its own Trash, never the user's real one.
  options.trashRoots = {fixture ? options.home + "/.local/share/Trash"
                                : homeTrash(environment, options.home)};
  for (const auto& folder : platform::consentFolders(options.home))
    options.consentFolders.push_back(folder.lexically_normal().string());

  ProcessEnumerator enumerator(::getuid());
  const auto snapshot = enumerator.snapshot(options.now);
  const auto liveness =
      LivenessInput::gather(snapshot, ::getuid(), ::getpid(), options.home, options.home);

  DiskCache cache;
  std::optional<DockerClient> docker;
  if (!fixture) {
    cache = DiskCache::load(shared);
    std::vector<std::string> workingFolders;
    for (const auto& record : snapshot.records())
      if (record.cwd) workingFolders.push_back(*record.cwd);
    cache.markSeenLive(workingFolders, options.now);
    options.lastSeenLive = cache.lastSeenLive;
    for (const auto& entry : KillLog(shared).read())
      if (entry.repoPath && !entry.isDryRun()) {
        auto& when = options.killedRepos[*entry.repoPath];
        when = std::max(when, entry.time);
      }
    docker.emplace(options.home, environment);
    options.docker = &*docker;
  }
  // Tools say where their caches are; a fixture home keeps the rules' paths.
  const POSIXLauncher launcher;
  const LoginShellLocator locator(platform::loginShell(environment), environment, launcher);
  const PathLookupRunner lookups(locator, launcher, environment, options.home);
  const bool rulesAsk = std::any_of(rules.rules.begin(), rules.rules.end(),
                                    [](const LeftoverRule& rule) { return rule.resolveWith; });
  if (!fixture && rulesAsk) {
    locator.prefetch(PathLookupRunner::programs());
    options.allowLookups = true;
    options.lookups = &lookups;
  }

  auto result = scanDisk(rules, options, liveness);
  result.scanID = makeScanID(result.startedAt);
  result.finishedAt = std::chrono::system_clock::now();

  if (!fixture) {
    cache.lastResult = result;
    try {
      cache.save(shared);
    } catch (const std::exception&) {
      // The cache only speeds up cleaning; the scan itself still stands.
    }
    try {
      recordDiskHistory(shared, result);
    } catch (const std::exception&) {
      context.error << "Couldn't save this scan to the history.\n";
    }
  }

  if (command.json)
    context.out.document(diskScanDocument(result));
  else
    for (const auto& line : diskScanText(result)) context.out.line(line);
  return result.complete ? ExitStatus::ok : ExitStatus::partial;
}

// An argument as the path it names: it may be relative to the working
// folder, start with "~/" and end with "/".
std::string argumentPath(const std::string& argument, const std::string& home) {
  std::filesystem::path path = argument;
  if (argument == "~" || argument.starts_with("~/"))
    path = std::filesystem::path(home) / argument.substr(std::min<std::size_t>(argument.size(), 2));
  std::error_code error;
  if (path.is_relative()) path = std::filesystem::absolute(path, error);
  return disk_path::normal(path.lexically_normal().string());
}

// Each argument names an item by its id as `disk scan --json` shows it, or by
// its path. Arguments that match nothing are named (on standard output, with
// everything else the command says) so that a typo isn't silently dropped.
std::vector<DiskItem> pickItems(const DiskScanResult& scan, const std::vector<std::string>& wanted,
                                Output& out) {
  std::vector<DiskItem> picked;
  std::vector<bool> taken(scan.items.size(), false);
  for (const auto& argument : wanted) {
    bool found = false;
    const auto path = argumentPath(argument, scan.home);
    for (std::size_t i = 0; i < scan.items.size(); ++i) {
      const auto& item = scan.items[i];
      if (item.id != argument && !(item.isAbsolute() && disk_path::normal(item.path) == path))
        continue;
      found = true;
      if (!taken[i]) picked.push_back(item);
      taken[i] = true;
    }
    if (!found) out.line("Not in the last scan: " + argument);  // line() makes it printable
  }
  return picked;
}

// An interrupt during a cleanup must not leave an item half done: the signal
// only sets this flag, the running command is stopped, a move (one rename)
// completes, and no further step starts. A signal handler can reach nothing
// but a static, so this is the one piece of process-wide state, and it lives
// only while a cleanup runs.
std::atomic<bool> gInterrupted{false};

class InterruptGuard {
 public:
  InterruptGuard() {
    gInterrupted.store(false);
    struct sigaction action {};
    action.sa_handler = [](int) { gInterrupted.store(true); };
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &previousInt_);
    ::sigaction(SIGTERM, &action, &previousTerm_);
  }
  ~InterruptGuard() {
    ::sigaction(SIGINT, &previousInt_, nullptr);
    ::sigaction(SIGTERM, &previousTerm_, nullptr);
  }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;
  const std::atomic<bool>& flag() const { return gInterrupted; }

 private:
  struct sigaction previousInt_ {};
  struct sigaction previousTerm_ {};
};

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

bool confirmed(const std::string& answer) {
  std::string word;
  for (const char c : answer)
    if (!std::isspace(static_cast<unsigned char>(c)))
      word.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  return word == "yes";
}

ExitStatus runPlan(const CleanupPlan& plan, CommandContext& context,
                   const std::filesystem::path& shared) {
  for (const auto& line : CleanupDryRun::confirmationLines(plan)) context.out.line(line);
  if (!platform::isTerminal(STDIN_FILENO))
    throw CommandFailure("glimmet disk clean asks you to confirm, so it needs a terminal.",
                         ExitStatus::usage);
  if (plan.steps.empty()) throw CommandFailure("Nothing done.", ExitStatus::nothingFound);
  const auto count = plan.steps.size();
  // The question goes to standard error, which flushes the plan first and keeps
  // standard output to the plan and its outcomes.
  context.error << "\nType yes to clean up " << count << " item" << (count == 1 ? "" : "s") << ": "
                << std::flush;
  std::string answer;
  if (!std::getline(context.input, answer) || !confirmed(answer))
    throw CommandFailure("Nothing done.", ExitStatus::nothingFound);

  const InterruptGuard interrupt;
  const POSIXLauncher launcher;
  const platform::SystemTrash trash(context.environment);
  // Standard input is the terminal the yes was typed at (checked above), so
  // a tool that asks its own question asks it there.
  const CleanupRunner runner(CleanupLog(shared), launcher, trash, CleanupLogEntry::Trigger::cli,
                             interrupt.flag(), /*atTerminal=*/true);
  // Each line is sent as it comes: a tool's clean command can run for
  // minutes, and its output shows it is working.
  CleanupEvents events;
  events.started = [&](const CleanupStep&) { context.out.flush(); };
  events.output = [&](const CleanupStep&, const std::string& line) {
    context.out.line("  " + line);
    context.out.flush();
  };
  events.finished = [&](const CleanupStep& step, const StepOutcome& outcome) {
    context.out.line(step.item.label + ": " + outcome.text());
    context.out.flush();
  };
  bool anyFailed = false;
  for (const auto& outcome : runner.run(plan, events))
    anyFailed = anyFailed || outcome.isFailure() || outcome.kind == StepOutcome::Kind::stopped;
  if (interrupt.flag().load()) context.out.line("Stopped. The rest was left as it was.");
  return anyFailed || interrupt.flag().load() ? ExitStatus::partial : ExitStatus::ok;
}

ExitStatus runDiskClean(const DiskClean& command, CommandContext& context) {
  const auto& environment = context.environment;
  const auto rules = leftoverRules(context);
  const auto shared = platform::sharedDataDir(environment);
  const auto cache = DiskCache::load(shared);
  if (!cache.lastResult)
    throw CommandFailure("No disk scan yet. Run glimmet disk scan first.",
                         ExitStatus::nothingFound);
  const auto& scan = *cache.lastResult;
  const auto items = pickItems(scan, command.items, context.out);
  if (items.empty())
    throw CommandFailure("None of those are in the last scan.", ExitStatus::nothingFound);

  const auto diskRules = GlimmetSettings::load(JSONStore(shared)).disk;
  const auto now = std::chrono::system_clock::now();
  ProcessEnumerator enumerator(::getuid());
  const auto snapshot = enumerator.snapshot(now);
  const auto liveness =
      LivenessInput::gather(snapshot, ::getuid(), ::getpid(), scan.home, scan.home);

  // Programs are found as the user's login shell finds them, asked about all
  // at once: one shell start for the whole plan.
  const POSIXLauncher launcher;
  const LoginShellLocator locator(platform::loginShell(environment), environment, launcher);
  locator.prefetch(programsNamed(items, rules));
  const DiskProtectedList protectedList(scan.home, diskRules.protectedPaths, {shared.string()},
                                        {homeTrash(environment, scan.home)});
  // The archive folder is checked before anything runs, with its links
  // resolved, against every item picked, cleaned or not.
  std::optional<std::string> archiveFolder;
  if (command.archiveTo) {
    std::error_code error;
    const auto absolute = std::filesystem::absolute(*command.archiveTo, error);
    // weakly_canonical: a folder that doesn't exist yet (the archiver makes
    // it) still has the links on its way resolved.
    const auto resolved = std::filesystem::weakly_canonical(absolute, error);
    archiveFolder = (error ? absolute : resolved).lexically_normal().string();
    if (auto problem = archiveFolderProblem({absolute.lexically_normal().string(), *archiveFolder},
                                            items, protectedList))
      throw CommandFailure(*problem, ExitStatus::usage);
  }
  const CleanupPlanner planner(protectedList, rules, locator);
  auto plan = planner.plan(items, scan.home, liveness, now);
  if (archiveFolder) archiveAgentHistory(plan, *archiveFolder);

  if (command.dryRun) {
    for (const auto& line : CleanupDryRun::lines(plan)) context.out.line(line);
    // Nothing would run: the same status as a clean that did nothing.
    return plan.steps.empty() ? ExitStatus::nothingFound : ExitStatus::ok;
  }
  return runPlan(plan, context, shared);
}

}  // namespace

CommandSpec DiskScan::spec() {
  return {
      .name = "scan",
      .abstract = "Measure disk leftovers (read only).",
      .discussion =
          "Sizes and metadata only. Nothing is removed. With --home, only that folder is measured: "
          "no tool lookups, no Docker, nothing saved.",
      .parameters =
          {
              flag("--json", kJsonHelp, json),
              textOption("--home", "<home>",
                         "Scan this folder as if it were the home folder (for test fixtures).",
                         home, ValueKind::directory),
              flag("--include-protected-folders",
                   "Also scan Documents, Desktop and Downloads where the system guards them "
                   "(macOS asks once per folder). Changes nothing on Linux, which always scans "
                   "them.",
                   includeProtectedFolders),
          },
      .run = [this](CommandContext& context) { return runDiskScan(*this, context); },
  };
}

CommandSpec DiskClean::spec() {
  return {
      .name = "clean",
      .abstract = "Clean items from the last disk scan.",
      .discussion =
          "Pass item ids from `glimmet disk scan --json` (like '~/Dev/web/.next#next-build') or "
          "their "
          "paths. Tool commands run first-party clean commands; everything else moves to the "
          "Trash. "
          "Asks you to type yes first.",
      .parameters =
          {
              repeatingArgument("items", "Item ids or paths from the last scan.", items),
              flag("--dry-run", "Show what would happen. Nothing runs or moves.", dryRun),
              textOption(
                  "--archive-to", "<archive-to>",
                  "Copy agent chats here, check the copy, then move the originals to the Trash.",
                  archiveTo, ValueKind::directory),
          },
      .run = [this](CommandContext& context) { return runDiskClean(*this, context); },
  };
}

CommandSpec Disk::spec() {
  return {
      .name = "disk",
      .abstract = "See what your agents and dev tools left on disk.",
      .subcommands = {scan.spec(), clean.spec()},
  };
}

}  // namespace glimmet::cli
