// A tree stop as a line of the kill log.
#pragma once

#include <optional>
#include <string>

#include "core/kill/kill_log.h"
#include "core/kill/kill_report.h"
#include "core/process/process_record.h"

namespace glimmet {

/// What the log says about one stop beyond the report itself.
struct KillLogContext {
  KillLogEntry::Trigger trigger = KillLogEntry::Trigger::cli;
  SystemTime time;
  std::string home;  ///< a repository below it is logged as "~/..."
  std::optional<std::string> origin;
  std::optional<std::string> repoPath;
  std::optional<std::string> rule;
  std::optional<double> cpuPercent;
  std::optional<std::string> worktree;  ///< a linked worktree's name
  std::optional<std::string> branch;    ///< or the detached commit
};

KillLogEntry killLogEntry(const KillReport& report, const ProcessRecord& root,
                          const KillLogContext& context);

/// A reap that only says what it would stop: nothing was signalled.
KillLogEntry dryRunLogEntry(const ProcessRecord& root, std::uint64_t wouldFreeBytes,
                            const KillLogContext& context);

}  // namespace glimmet
