#include "core/cleanup/cleanup_log.h"

#include <nlohmann/json.hpp>
#include "core/output/json_writer.h"

#include "core/settings/locked_append.h"
#include "core/settings/shared_files.h"
#include "platform/files.h"

namespace glimmet {
namespace {

std::string_view rawValue(CleanupLogEntry::Trigger trigger) {
  switch (trigger) {
    case CleanupLogEntry::Trigger::manual:
      return "manual";
    case CleanupLogEntry::Trigger::cli:
      return "cli";
    case CleanupLogEntry::Trigger::terminal:
      return "terminal";
  }
  return "cli";
}

}  // namespace

std::string CleanupLogEntry::encodeLine() const {
  nlohmann::ordered_json line;
  line["time"] = formatIso8601(time);
  line["planID"] = planID;
  line["ruleID"] = ruleID;
  line["path"] = path;
  line["bytes"] = bytes;
  line["action"] = action;
  line["phase"] = phase == Phase::attempt ? "attempt" : "result";
  if (result) line["result"] = *result;
  line["trigger"] = rawValue(trigger);
  if (trashPath) line["trashPath"] = *trashPath;
  if (trashIdentity) line["trashIdentity"] = trashIdentity->toJson();
  return writeCompactJson(line);
}

void CleanupLog::append(const CleanupLogEntry& entry) const {
  try {
    appendUnderLock(directory_, shared_files::cleanupLog, shared_files::cleanupLogLock,
                    entry.encodeLine() + "\n", *lockWait_);
  } catch (const platform::LockTimeout&) {
    // Held still: later steps try once more without waiting; each says it was skipped.
    *lockWait_ = std::chrono::milliseconds::zero();
    throw;
  }
}

}  // namespace glimmet
