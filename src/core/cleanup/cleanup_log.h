// cleanup.jsonl: one line before each action and one after, shared with the
// application, which shows what happened and puts trashed items back from it.
// An attempt without a result means the tool ended during that step.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "core/disk/measurement.h"
#include "core/output/iso8601.h"

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
  /// Appends under cleanup.jsonl.lock. Throws platform::SystemError.
  void append(const CleanupLogEntry& entry) const;

 private:
  std::filesystem::path directory_;
};

}  // namespace glimmet
