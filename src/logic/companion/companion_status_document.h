// glimmet companion status: whether the companion runs, since when, how fresh
// its heartbeat is, what it watches, what waits for it, its last reap of its
// own, and how it is started at login.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/companion/companion_state.h"
#include "core/error.h"
#include "core/output/document.h"
#include "core/output/iso8601.h"

namespace glimmet {

/// The file that starts the companion at login.
struct CompanionInstallation {
  enum class Kind { systemdUnit, autostartEntry };
  Kind kind = Kind::systemdUnit;
  std::string path;                 ///< as the user reads it ("~/.config/...")
  std::optional<std::string> runs;  ///< the glimmet it runs; nothing when not as glimmet wrote it
};

/// What status reads, as read: a missing or corrupt file is nothing.
struct CompanionStatusFacts {
  bool running = false;  ///< another process holds companion.lock right now
  std::optional<CompanionState> state;
  std::optional<nlohmann::json> heartbeat;  ///< mcp-heartbeat.json
  std::optional<nlohmann::json> inbox;      ///< mcp-inbox.json
  std::size_t ancestryFileRecords = 0;      ///< records in ancestry.json
  std::optional<CompanionInstallation> installation;
};

struct CompanionStatusDocument {
  bool running = false;
  std::optional<pid_t> pid;  ///< only while it runs: companion.json outlives it
  std::optional<SystemTime> startedAt;
  std::optional<std::int64_t> heartbeatAgeSeconds;
  bool heartbeatFresh = false;  ///< notify and mcp count someone as there
  std::optional<std::uint64_t> sessionsWatched;
  std::uint64_t ancestryRecords = 0;
  std::uint64_t pendingQuitRequests = 0;
  std::optional<CompanionReap> lastReap;
  std::optional<CompanionInstallation> installation;
  SystemTime now;

  static CompanionStatusDocument from(const CompanionStatusFacts& facts, SystemTime now);

  nlohmann::json toJson() const;
  std::vector<std::string> lines() const;
  /// As `glimmet status`: a script reads the document whatever it says; a
  /// person told the companion isn't running gets status 1.
  ExitStatus status(OutputFormat format) const {
    return format == OutputFormat::text && !running ? ExitStatus::nothingFound : ExitStatus::ok;
  }
};

/// Entries of an mcp-inbox.json array still waiting for an answer.
std::uint64_t pendingQuitRequests(const nlohmann::json& inbox);

/// "12 s", "5 min", "2 h 5 min", "3 d 4 h": an age for a status line.
std::string ageText(std::int64_t seconds);

}  // namespace glimmet
