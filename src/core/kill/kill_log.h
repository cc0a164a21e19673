// The kill log: one JSON line per stopped process tree, from any source (this
// tool, the application, the MCP quit path), appended under killlog.jsonl.lock.
// The disk scanner reads it to tell which projects had a dev server stopped.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/output/iso8601.h"

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

class KillLog {
 public:
  /// The log in `directory`, the shared folder.
  explicit KillLog(std::filesystem::path directory) : directory_(std::move(directory)) {}

  /// Appends every entry in one write under the lock. Throws platform::SystemError
  /// when the folder, the lock file or the log can't be written; callers that only
  /// record a stop ignore it and still report the stop.
  void append(const std::vector<KillLogEntry>& entries) const;
  /// The same for callers that only record a stop: a log that can't be written
  /// must not hide the stop itself, so the failure is only returned.
  bool appendIfPossible(const std::vector<KillLogEntry>& entries) const;
  /// Every whole entry in file order, read under the lock; lines that don't decode
  /// are skipped. A missing or unreadable log is empty.
  std::vector<KillLogEntry> read() const;
  /// The entries whose time is not earlier than `since`.
  std::vector<KillLogEntry> entriesSince(SystemTime since) const;

 private:
  std::filesystem::path directory_;
};

/// The CSV export: a header line, then one line per entry in the given order.
std::string killLogCsv(const std::vector<KillLogEntry>& entries);

}  // namespace glimmet
