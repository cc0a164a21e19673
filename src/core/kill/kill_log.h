// The kill log: one JSON line per stopped process tree, from any source (this
// tool, the application, the MCP quit path), appended under killlog.jsonl.lock.
// The disk scanner reads it to tell which projects had a dev server stopped.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/output/iso8601.h"
#include "core/settings/shared_files.h"

namespace glimmet {

struct KillLogEntry {
  /// Who asked for the stop. sessionEnd: an agent's session-end hook, which
  /// reaps what that session left behind once it has exited.
  enum class Trigger { manual, killAll, reaper, cli, alert, mcp, sessionEnd };
  /// How the stop ended; "dry run" entries record what a stop would have done.
  enum class Result { stopped, partlyStopped, refused, dryRun };

  SystemTime time;
  int32_t pid = 0;
  std::string command;  ///< already masked
  std::optional<std::string> origin;
  std::optional<std::string> repo;  ///< with the home folder written as "~"
  uint64_t freedBytes = 0;
  std::string signal;  ///< "SIGTERM, SIGKILL"
  Result result = Result::stopped;
  Trigger trigger = Trigger::cli;
  std::optional<std::string> repoPath;
  std::optional<std::string> rule;
  std::optional<double> cpuPercent;
  std::optional<uint64_t> wouldFreeBytes;
  std::optional<std::string> worktree;  ///< the linked worktree's name, as ls shows it
  std::optional<std::string> branch;    ///< the branch, or the detached commit

  bool isDryRun() const { return result == Result::dryRun; }
  /// The rule when there is one, else the trigger's label.
  std::string label() const;

  /// One line of the log, without the line feed: keys in the log's order.
  std::string encodeLine() const;
  /// Nothing for a line that is not a whole entry (torn, foreign or damaged).
  static std::optional<KillLogEntry> decodeLine(std::string_view line);

  bool operator==(const KillLogEntry&) const = default;
};

std::string_view rawValue(KillLogEntry::Trigger trigger);
std::string_view label(KillLogEntry::Trigger trigger);
std::optional<KillLogEntry::Trigger> triggerFromRaw(std::string_view raw);
std::string_view text(KillLogEntry::Result result);

/// The pieces a tree stop turns into an entry, so building one from a stop report
/// is a few assignments.
/// "SIGTERM, SIGKILL"; another signal is "SIG" and its number.
std::string signalListText(const std::vector<int>& signals);

struct KillLogTotals {
  uint64_t kills = 0;
  uint64_t dryRuns = 0;
  std::map<KillLogEntry::Trigger, uint64_t> byTrigger;

  static KillLogTotals of(const std::vector<KillLogEntry>& entries);
};

/// Said once on the command's warning stream when the kill log's lock stayed held.
inline constexpr std::string_view kBusyKillLogMessage =
    "Couldn't add to the kill log: another program kept it locked.";

class KillLog {
 public:
  /// The log in `directory`, the shared folder. A lock that stays held is said
  /// once on `warnings` (standard error) when given.
  explicit KillLog(std::filesystem::path directory, std::ostream* warnings = nullptr)
      : directory_(std::move(directory)), warnings_(warnings) {}

  /// Appends every entry in one write under the lock, waiting up to 10 seconds
  /// for it; once a wait has run out, later appends through this log don't wait.
  /// Throws platform::LockTimeout when the lock stayed held and
  /// platform::SystemError when the folder, the lock file or the log can't be
  /// written; callers that only record a stop ignore it and still report the stop.
  void append(const std::vector<KillLogEntry>& entries) const;
  /// The same for callers that only record a stop: a log that can't be written
  /// must not hide the stop itself, so the failure is only returned.
  bool appendIfPossible(const std::vector<KillLogEntry>& entries) const;
  /// The whole entries of the log's last 8 MiB in file order, read under the lock
  /// (when it comes within 10 seconds); lines that don't decode or run past
  /// 1 MiB are skipped. A missing, unreadable or unusable log (a link, a FIFO,
  /// another user's) is empty.
  std::vector<KillLogEntry> read() const;
  /// The entries whose time is not earlier than `since`.
  std::vector<KillLogEntry> entriesSince(SystemTime since) const;

 private:
  std::filesystem::path directory_;
  std::ostream* warnings_ = nullptr;
  // Shared by copies, so a reaper's copy and the command's agree.
  std::shared_ptr<std::chrono::milliseconds> lockWait_ =
      std::make_shared<std::chrono::milliseconds>(shared_files::commandLockWait);
};

/// The CSV export: a header line, then one line per entry in the given order.
std::string killLogCsv(const std::vector<KillLogEntry>& entries);

}  // namespace glimmet
