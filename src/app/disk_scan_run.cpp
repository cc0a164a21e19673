// runDiskScan: the rules, the settings and what runs now are gathered, the
// scan runs, its result goes to the cache and the history, and the report is
// printed.
#include "app/disk_scan_run.h"

#include <algorithm>
#include <cerrno>

#include "app/leftover_rules_input.h"
#include "app/scan_progress_display.h"
#include "core/disk/disk_scan_store.h"
#include "core/disk/disk_scanner.h"
#include "core/disk/path_lookup.h"
#include "core/kill/kill_log.h"
#include "core/output/text.h"
#include "core/process/process_enumerator.h"
#include "core/safety/liveness_guard.h"
#include "core/settings/glimmet_settings.h"
#include "core/tools/tool_locator.h"
#include "logic/disk/disk_scan_document.h"
#include "platform/file_system.h"
#include "platform/files.h"
#include "platform/login_shell.h"
#include "platform/own_process.h"
#include "platform/paths.h"
#include "platform/trash.h"

namespace glimmet {
namespace {

// The folder --home names, absolute and with its links resolved. Anything but
// an existing folder is a usage error: scanning nothing would report an empty
// home as if it were clean.
std::string fixtureHome(const std::string& given) {
  if (given.empty()) throw CommandFailure("--home needs a folder.", ExitStatus::usage);
  const auto absolute = platform::absolutePath(given);
  int error = 0;
  const auto status = platform::targetStatus(absolute, error);
  if (!status && (error == ENOENT || error == ENOTDIR))
    throw CommandFailure("--home: there's no folder at " + printable(given) + ".",
                         ExitStatus::usage);
  if (!status || status->kind != platform::FileStatus::Kind::directory)
    throw CommandFailure("--home: " + printable(given) + " isn't a folder.", ExitStatus::usage);
  const auto resolved = platform::resolvedPath(absolute);
  auto home = resolved.value_or(absolute).lexically_normal().string();
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home;
}

// What the scan is asked to do, before anything is read from the shared folder.
DiskScanOptions scanOptions(const DiskScanRequest& request, const RunContext& context,
                            const std::filesystem::path& shared) {
  const auto& environment = context.environment;
  auto diskRules = GlimmetSettings::load(JSONStore(shared)).disk;
  if (request.includeProtectedFolders) diskRules.includeProtectedFolders = true;
  const bool fixture = request.home.has_value();
  DiskScanOptions options;
  options.rules = diskRules.clamped();
  options.environment = environment;
  options.now = std::chrono::system_clock::now();
  if (fixture) {
    options.home = fixtureHome(*request.home);
    options.minimumProjectItemBytes = 0;
  } else {
    options.home = platform::homeDir(environment).lexically_normal().string();
  }
  while (options.home.size() > 1 && options.home.back() == '/') options.home.pop_back();
  options.settingsFolders = {shared.string()};
  // A fixture home has its own Trash, never the user's real one. The home
  // Trash never counts as part of the home folder: it is measured once as the
  // Trash's size, and items are never cleaned from it.
  options.trashRoots = {fixture ? options.home + "/.local/share/Trash"
                                : platform::homeTrashFolder(environment, options.home).string()};
  for (const auto& folder : platform::consentFolders(options.home))
    options.consentFolders.push_back(folder.lexically_normal().string());
  return options;
}

// When each repository's dev server was last stopped, from the kill log.
std::map<std::string, SystemTime> killedRepos(const std::filesystem::path& shared) {
  std::map<std::string, SystemTime> repos;
  for (const auto& entry : KillLog(shared).read())
    if (entry.repoPath && !entry.isDryRun()) {
      auto& when = repos[*entry.repoPath];
      when = std::max(when, entry.time);
    }
  return repos;
}

}  // namespace

ExitStatus runDiskScan(const DiskScanRequest& request, RunContext& context) {
  const auto& environment = context.environment;
  const auto rules = loadLeftoverRules(context);
  const auto shared = platform::sharedDataDir(environment);
  const bool fixture = request.home.has_value();
  auto options = scanOptions(request, context, shared);

  DiskCache cache;
  std::optional<DockerClient> docker;
  if (!fixture) {
    cache = DiskCache::load(shared);
    options.killedRepos = killedRepos(shared);
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
    options.prepareLookups = [&locator] { locator.prefetch(PathLookupRunner::programs()); };
    options.allowLookups = true;
    for (const auto& [lookup, folder] : cache.toolFolders.current(options.now, environment))
      if (platform::entryExists(folder)) options.rememberedLookups[lookup] = folder;
    options.lookups = &lookups;
  }

  // At a terminal, the scan says how far it has got on standard error; never
  // beside a document meant for a program.
  DiskScanProgress progress;
  std::optional<ScanProgressDisplay> display;
  if (!request.json && platform::isTerminal(2)) {
    options.progress = &progress;
    display.emplace(context.error, progress, options.home,
                    platform::terminalColumns(2).value_or(80));
  }
  // What runs now: one snapshot, each process's open files in the home
  // folder, and where processes work, which the cache remembers. The scan
  // reads it on a thread of its own while it walks; nothing else touches the
  // cache until the scan has returned.
  const auto readLiveState = [&] {
    const auto uid = platform::effectiveUID();
    const auto snapshot = ProcessEnumerator(uid).snapshot(options.now);
    LiveState live;
    live.liveness =
        LivenessInput::gather(snapshot, uid, platform::ownPID(), options.home, options.home);
    if (!fixture) {
      std::vector<std::string> workingFolders;
      for (const auto& record : snapshot.records())
        if (record.cwd) workingFolders.push_back(*record.cwd);
      cache.markSeenLive(workingFolders, options.now);
      live.lastSeenLive = cache.lastSeenLive;
    }
    return live;
  };
  auto result = scanDisk(rules, options, readLiveState);
  display.reset();
  result.scanID = makeScanID(result.startedAt);
  result.finishedAt = std::chrono::system_clock::now();

  if (!fixture) {
    cache.toolFolders.remember(result.toolFolders, result.finishedAt, environment);
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
  return printDocument(context.out, DiskScanDocument{std::move(result)},
                       outputFormat(request.json));
}

}  // namespace glimmet
