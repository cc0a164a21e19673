// cleanup.jsonl: one line before each action and one after, shared with the
// application, which shows what happened and puts trashed items back from it.
// An attempt without a result means the tool ended during that step.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "core/disk/measurement.h"
#include "core/output/iso8601.h"
#include "core/settings/shared_files.h"

namespace glimmet {

struct CleanupLogEntry {
  enum class Phase { attempt, result };
  enum class Trigger { manual, cli, terminal };

  SystemTime time;
  std::string planID;
  std::string ruleID;
  std::string path;
  uint64_t bytes = 0;
  std::string action;
  Phase phase = Phase::attempt;
  std::optional<std::string> result;
  Trigger trigger = Trigger::cli;
  std::optional<std::string> trashPath;
  std::optional<FileIdentity> trashIdentity;

  /// One line of JSON, keys in the log's order, no line feed.
  std::string encodeLine() const;
};

class CleanupLog {
 public:
  explicit CleanupLog(std::filesystem::path directory) : directory_(std::move(directory)) {}
  /// Appends under cleanup.jsonl.lock, waiting up to 10 seconds for it; once a
  /// wait has run out, later appends through this log don't wait. Throws
  /// platform::LockTimeout or platform::SystemError.
  void append(const CleanupLogEntry& entry) const;

 private:
  std::filesystem::path directory_;
  // Shared by copies, so the runner's copy and the command's agree.
  std::shared_ptr<std::chrono::milliseconds> lockWait_ =
      std::make_shared<std::chrono::milliseconds>(shared_files::commandLockWait);
};

}  // namespace glimmet
