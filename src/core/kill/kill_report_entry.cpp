#include "core/kill/kill_report_entry.h"

#include "core/util/home_path.h"
#include "core/util/secret_masker.h"

namespace glimmet {
namespace {

KillLogEntry::Result resultOf(KillReport::Status status) {
  switch (status) {
    case KillReport::Status::done:
      return KillLogEntry::Result::stopped;
    case KillReport::Status::partial:
      return KillLogEntry::Result::partlyStopped;
    case KillReport::Status::refused:
      break;
  }
  return KillLogEntry::Result::refused;
}

KillLogEntry baseEntry(const ProcessRecord& root, const KillLogContext& context) {
  KillLogEntry entry;
  entry.time = context.time;
  entry.pid = root.pid();
  // Arguments when we could read them; another user's process is known by name.
  entry.command = SecretMasker::maskedCommand(root.argv, root.name);
  entry.origin = context.origin;
  entry.trigger = context.trigger;
  entry.rule = context.rule;
  entry.cpuPercent = context.cpuPercent;
  if (context.repoPath) entry.repo = tildePath(*context.repoPath, context.home);
  entry.worktree = context.worktree;
  entry.branch = context.branch;
  return entry;
}

}  // namespace

KillLogEntry killLogEntry(const KillReport& report, const ProcessRecord& root,
                          const KillLogContext& context) {
  KillLogEntry entry = baseEntry(root, context);
  entry.freedBytes = report.freedBytes;
  entry.signal = signalListText(report.signalsSent);
  entry.result = resultOf(report.status);
  entry.repoPath = context.repoPath;
  return entry;
}

KillLogEntry dryRunLogEntry(const ProcessRecord& root, std::uint64_t wouldFreeBytes,
                            const KillLogContext& context) {
  KillLogEntry entry = baseEntry(root, context);
  entry.result = KillLogEntry::Result::dryRun;
  entry.wouldFreeBytes = wouldFreeBytes;
  return entry;
}

}  // namespace glimmet
