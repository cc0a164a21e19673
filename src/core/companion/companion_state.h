// What the companion says about itself in the shared folder, so that
// `glimmet companion status` can report on a companion it can't talk to: who
// runs, since when, what it watches, and the last reap it ran on its own.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "core/output/iso8601.h"

namespace glimmet {

/// The last reap the companion ran on one of its triggers.
struct CompanionReap {
  SystemTime at;
  std::string trigger;  ///< "login", "schedule" or "sessionEnd"
  bool dryRun = false;
  std::size_t selected = 0;  ///< ghosts the rules chose
  std::size_t stopped = 0;   ///< trees stopped completely (0 in a dry run)

  bool operator==(const CompanionReap&) const = default;
};

/// companion.json. Rewritten atomically by the running companion with every
/// heartbeat and after each reap; left in place when it exits, so the last
/// reap survives a restart. Whether a companion runs is told by its lock, never
/// by this file alone.
struct CompanionState {
  pid_t pid = 0;
  SystemTime startedAt;
  SystemTime updatedAt;
  std::size_t sessionsWatched = 0;  ///< live agent sessions at the last update
  std::size_t ancestryRecords = 0;  ///< records in ancestry.json at the last update
  std::optional<CompanionReap> lastReap;

  /// Nothing when a required key is missing or of the wrong type.
  static std::optional<CompanionState> fromJson(const nlohmann::json& json);
  nlohmann::json toJson() const;
  bool operator==(const CompanionState&) const = default;
};

}  // namespace glimmet
