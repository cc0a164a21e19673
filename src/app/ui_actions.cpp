#include "app/ui_actions.h"

#include <chrono>

#include "app/live_tree_killer.h"
#include "core/kill/kill_clock.h"
#include "core/kill/kill_log.h"
#include "core/kill/kill_report_entry.h"
#include "core/process/process_enumerator.h"
#include "logic/kill/kill_outcome.h"

namespace glimmet {
namespace {

// disk scan's statuses: 0 a complete scan, 2 a partial one; both are saved.
constexpr int kPartialScan = 2;

}  // namespace

std::string stopTree(const UiStopTarget& target, const CommandInputs& inputs) {
  ProcessEnumerator enumerator(inputs.uid());
  const auto snapshot = enumerator.snapshot(std::chrono::system_clock::now());
  SystemKillClock clock;
  LiveTreeKiller live(inputs, clock);
  const auto report = live.killer().kill(target.identity, snapshot, target.ports, target.repoPath,
                                         KillOptions::make(inputs.settings.gracePeriod));
  const auto* root = snapshot.record(target.identity.pid);
  if (isLogged(report) && root != nullptr && root->identity == target.identity) {
    const KillLogContext log{.trigger = KillLogEntry::Trigger::cli,
                             .time = std::chrono::system_clock::now(),
                             .home = inputs.home.string(),
                             .origin = target.origin,
                             .repoPath = target.repoPath,
                             .rule = std::nullopt,
                             .cpuPercent = std::nullopt,
                             .worktree = target.worktree,
                             .branch = target.branch};
    KillLog(inputs.sharedFolder, inputs.warnings)
        .appendIfPossible({killLogEntry(report, *root, log)});
  }
  return describeKill(report, target.target).line;
}

BackgroundDiskScan::BackgroundDiskScan(const std::filesystem::path& executable,
                                       const std::filesystem::path& home,
                                       const Environment& environment)
    : process_(platform::spawnProcess({executable.string(), "disk", "scan"}, home, &environment,
                                      /*atTerminal=*/false)) {}

BackgroundDiskScan::~BackgroundDiskScan() {
  if (ended_) return;
  // Quitting the view ends the scan too: it runs in its own process group,
  // which nothing else shares.
  platform::signalChild(process_.pid, /*wholeGroup=*/true, platform::ChildSignal::terminate);
  platform::reapWhenEnded(process_.pid);
}

std::optional<std::string> BackgroundDiskScan::poll() {
  if (ended_) return std::nullopt;
  // Its report is small, but a pipe nobody reads would stop it once full.
  if (process_.outputFD) platform::readAvailable(process_.outputFD.get(), [](std::string_view) {});
  const auto end = platform::reapIfEnded(process_.pid);
  if (!end) return std::nullopt;
  ended_ = true;
  if (!end->signalled && (end->code == 0 || end->code == kPartialScan)) return std::string();
  return end->signalled ? "The disk scan was stopped."
                        : "The disk scan failed (status " + std::to_string(end->code) + ").";
}

}  // namespace glimmet
