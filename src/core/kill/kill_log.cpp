// Kill log encoding, locked appends and reads, totals and the CSV export.
#include "core/kill/kill_log.h"

#include <cmath>
#include <csignal>
#include "core/output/json_writer.h"

#include "core/settings/json_store.h"
#include "core/settings/locked_append.h"
#include "core/settings/shared_files.h"
#include "core/util/csv.h"
#include "core/util/secret_masker.h"
#include "platform/files.h"
#include "platform/system_error.h"

namespace glimmet {
namespace {

using Trigger = KillLogEntry::Trigger;
using Result = KillLogEntry::Result;

constexpr Trigger kTriggers[] = {Trigger::manual,    Trigger::killAll, Trigger::reaper,
                                 Trigger::cli,       Trigger::alert,   Trigger::mcp,
                                 Trigger::sessionEnd};
constexpr Result kResults[] = {Result::stopped, Result::partlyStopped, Result::refused,
                               Result::dryRun};

// A line longer than this is not one of ours; it is skipped unread. Entries
// are a few hundred bytes; a masked command line can make one longer.
constexpr size_t kMaxLineBytes = 1 << 20;
// Only the log's tail is read: the newest 8 MiB hold some twenty thousand
// stops, far more than the disk scan's "when was its server last killed"
// needs, and a log grown without bound (or /dev/zero linked in its place)
// costs no more to read than that.
constexpr size_t kKillLogTailBytes = 8 << 20;

std::optional<Result> resultFromText(std::string_view value) {
  for (const auto result : kResults)
    if (text(result) == value) return result;
  return std::nullopt;
}

template <typename T>
bool readOptional(const nlohmann::json& object, const char* key, std::optional<T>& field) {
  const auto found = object.find(key);
  if (found == object.end() || found->is_null()) return true;
  if constexpr (std::is_same_v<T, std::string>) {
    if (!found->is_string()) return false;
  } else if constexpr (std::is_same_v<T, double>) {
    if (!found->is_number()) return false;
  } else {
    if (!found->is_number_unsigned() && !(found->is_number_integer() && *found >= 0)) return false;
  }
  field = found->get<T>();
  return true;
}

}  // namespace

std::string_view rawValue(Trigger trigger) {
  switch (trigger) {
    case Trigger::manual:
      return "manual";
    case Trigger::killAll:
      return "killAll";
    case Trigger::reaper:
      return "reaper";
    case Trigger::cli:
      return "cli";
    case Trigger::alert:
      return "alert";
    case Trigger::mcp:
      return "mcp";
    case Trigger::sessionEnd:
      return "sessionEnd";
  }
  return {};
}

std::string_view label(Trigger trigger) {
  switch (trigger) {
    case Trigger::manual:
      return "By hand";
    case Trigger::killAll:
      return "Kill all";
    case Trigger::reaper:
      return "Auto-reaper";
    case Trigger::cli:
      return "Command line";
    case Trigger::alert:
      return "From an alert";
    case Trigger::mcp:
      return "Assistant request";
    case Trigger::sessionEnd:
      return "Session end";
  }
  return {};
}

std::optional<Trigger> triggerFromRaw(std::string_view raw) {
  for (const auto trigger : kTriggers)
    if (rawValue(trigger) == raw) return trigger;
  return std::nullopt;
}

std::string_view text(Result result) {
  switch (result) {
    case Result::stopped:
      return "stopped";
    case Result::partlyStopped:
      return "partly stopped";
    case Result::refused:
      return "refused";
    case Result::dryRun:
      return "dry run";
  }
  return {};
}

std::string KillLogEntry::label() const {
  if (rule && !rule->empty()) return *rule;
  return std::string(glimmet::label(trigger));
}

std::string signalListText(const std::vector<int>& signals) {
  std::string out;
  for (const int signal : signals) {
    if (!out.empty()) out += ", ";
    if (signal == SIGTERM)
      out += "SIGTERM";
    else if (signal == SIGKILL)
      out += "SIGKILL";
    else
      out += "SIG" + std::to_string(signal);
  }
  return out;
}

std::string KillLogEntry::encodeLine() const {
  // Keys in the log's documented order, which is how the application writes them.
  nlohmann::ordered_json line;
  line["time"] = formatIso8601(time);
  line["pid"] = pid;
  line["command"] = command;
  if (origin) line["origin"] = *origin;
  if (repo) line["repo"] = *repo;
  line["freedBytes"] = freedBytes;
  line["signal"] = signal;
  line["result"] = text(result);
  line["trigger"] = rawValue(trigger);
  if (repoPath) line["repoPath"] = *repoPath;
  if (rule) line["rule"] = *rule;
  if (cpuPercent && std::isfinite(*cpuPercent)) line["cpuPercent"] = *cpuPercent;
  if (wouldFreeBytes) line["wouldFreeBytes"] = *wouldFreeBytes;
  if (worktree) line["worktree"] = *worktree;
  if (branch) line["branch"] = *branch;
  return writeCompactJson(line);
}

std::optional<KillLogEntry> KillLogEntry::decodeLine(std::string_view line) {
  const auto parsed = parseSharedJson(line);
  if (!parsed || !parsed->is_object()) return std::nullopt;
  const auto& json = *parsed;
  const auto string = [&](const char* key) -> const std::string* {
    const auto found = json.find(key);
    return found != json.end() && found->is_string() ? found->get_ptr<const std::string*>()
                                                     : nullptr;
  };
  const auto* time = string("time");
  const auto* command = string("command");
  const auto* signal = string("signal");
  const auto* result = string("result");
  const auto* trigger = string("trigger");
  const auto pid = json.find("pid");
  const auto freed = json.find("freedBytes");
  if (!time || !command || !signal || !result || !trigger || pid == json.end() ||
      !pid->is_number_integer() || freed == json.end() ||
      !(freed->is_number_unsigned() || (freed->is_number_integer() && *freed >= 0)))
    return std::nullopt;
  KillLogEntry entry;
  const auto when = parseIso8601(*time);
  const auto how = resultFromText(*result);
  const auto who = triggerFromRaw(*trigger);
  const auto pidValue = pid->get<int64_t>();
  if (!when || !how || !who || pidValue < 0 || pidValue > INT32_MAX) return std::nullopt;
  entry.time = *when;
  entry.pid = static_cast<int32_t>(pidValue);
  entry.command = *command;
  entry.freedBytes = freed->get<uint64_t>();
  entry.signal = *signal;
  entry.result = *how;
  entry.trigger = *who;
  if (!readOptional(json, "origin", entry.origin) || !readOptional(json, "repo", entry.repo) ||
      !readOptional(json, "repoPath", entry.repoPath) || !readOptional(json, "rule", entry.rule) ||
      !readOptional(json, "cpuPercent", entry.cpuPercent) ||
      !readOptional(json, "wouldFreeBytes", entry.wouldFreeBytes) ||
      !readOptional(json, "worktree", entry.worktree) ||
      !readOptional(json, "branch", entry.branch))
    return std::nullopt;
  return entry;
}

KillLogTotals KillLogTotals::of(const std::vector<KillLogEntry>& entries) {
  KillLogTotals totals;
  for (const auto& entry : entries) {
    if (entry.isDryRun())
      ++totals.dryRuns;
    else
      ++totals.kills;
    ++totals.byTrigger[entry.trigger];
  }
  return totals;
}

void KillLog::append(const std::vector<KillLogEntry>& entries) const {
  if (entries.empty()) return;
  std::string bytes;
  for (const auto& entry : entries) bytes += entry.encodeLine() + "\n";
  try {
    appendUnderLock(directory_, shared_files::killLog, shared_files::killLogLock, bytes,
                    *lockWait_);
  } catch (const platform::LockTimeout&) {
    // Whoever holds the lock holds it still: the next stop of this command
    // tries once more without waiting, and the person hears about it once.
    if (*lockWait_ != std::chrono::milliseconds::zero() && warnings_ != nullptr)
      *warnings_ << kBusyKillLogMessage << '\n';
    *lockWait_ = std::chrono::milliseconds::zero();
    throw;
  }
}

bool KillLog::appendIfPossible(const std::vector<KillLogEntry>& entries) const {
  try {
    append(entries);
    return true;
  } catch (const platform::SystemError&) {
    return false;
  }
}

std::vector<KillLogEntry> KillLog::read() const {
  std::vector<KillLogEntry> entries;
  const auto folder = platform::SharedFolder::open(directory_);
  if (!folder || !folder->contains(shared_files::killLog)) return entries;
  // The lock keeps a writer from appending half a line while this reads; one
  // held too long only risks a torn last line, which doesn't decode.
  std::optional<platform::LockedFile> lock;
  try {
    lock.emplace(folder->lock(shared_files::killLogLock, shared_files::commandLockWait));
  } catch (const platform::SystemError&) {
  }
  std::string line;
  bool overlong = false;
  folder->readTail(shared_files::killLog, kKillLogTailBytes, [&](std::string_view chunk) {
    while (!chunk.empty()) {
      const size_t end = chunk.find('\n');
      const auto piece = chunk.substr(0, end);
      // A line past the limit is dropped as it streams by, never gathered.
      if (!overlong && line.size() + piece.size() <= kMaxLineBytes)
        line.append(piece);
      else
        overlong = true;
      if (end == std::string_view::npos) return;
      chunk.remove_prefix(end + 1);
      if (!overlong && !line.empty())
        if (auto entry = KillLogEntry::decodeLine(line)) entries.push_back(std::move(*entry));
      line.clear();
      overlong = false;
    }
  });
  return entries;
}

std::vector<KillLogEntry> KillLog::entriesSince(SystemTime since) const {
  auto entries = read();
  std::erase_if(entries, [&](const KillLogEntry& entry) { return entry.time < since; });
  return entries;
}

std::string killLogCsv(const std::vector<KillLogEntry>& entries) {
  std::string out = "time,pid,command,origin,repo,freed_bytes,signal,result,trigger\n";
  for (const auto& entry : entries) {
    out += csvField(formatIso8601(entry.time)) + ',' + std::to_string(entry.pid) + ',' +
           csvField(entry.command) + ',' + csvField(entry.origin.value_or("")) + ',' +
           csvField(entry.repo.value_or("")) + ',' + std::to_string(entry.freedBytes) + ',' +
           csvField(entry.signal) + ',' + csvField(text(entry.result)) + ',' +
           std::string(rawValue(entry.trigger)) + '\n';
  }
  return out;
}

}  // namespace glimmet
