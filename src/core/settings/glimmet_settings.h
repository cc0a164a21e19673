// The settings the application writes to settings.json, as the tool reads them.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>

#include "core/settings/disk_rules.h"
#include "core/settings/json_store.h"

namespace glimmet {

/// Automatic and command-line reaping rules ("reaper"). Times in seconds.
struct ReaperRules {
  bool enabled = false;
  bool atLogin = true;
  bool onSchedule = true;
  bool onSessionEnd = true;
  double interval = 1800;
  double minimumAge = 21600;
  double sessionGrace = 60;
  bool includeOrphanedDevServers = false;
  bool allowLikelyOrigins = false;
  std::optional<bool> dryRunOverride;
  bool runawayCPU = false;
  double runawayCPUPercent = 150;

  /// Times moved into their ranges (sessionGrace 0 to 600 s, ...); never rejected.
  ReaperRules clamped() const;
  /// Decodes with defaults for missing keys, then clamps.
  static std::optional<ReaperRules> fromJson(const nlohmann::json& json);
  bool operator==(const ReaperRules&) const = default;
};

/// Whether `glimmet mcp` may serve ("mcp").
struct MCPSettings {
  bool enabled = false;

  static std::optional<MCPSettings> fromJson(const nlohmann::json& json);
  bool operator==(const MCPSettings&) const = default;
};

/// The alert rules for agent events ("agentNotify"). The boolean defaults are
/// the companion's choice: every alert on, whether or not the person is
/// looking, because on Linux whether they look at the agent's terminal can't
/// be known (only a locked screen can).
struct AgentNotifyRules {
  bool finished = true;
  bool needsApproval = true;
  bool onlyWhenAway = false;
  double approvalDelay = 30;
  bool idleGuess = true;
  double idleAfter = 120;

  AgentNotifyRules clamped() const;
  static std::optional<AgentNotifyRules> fromJson(const nlohmann::json& json);
  bool operator==(const AgentNotifyRules&) const = default;
};

struct GlimmetSettings {
  double samplingInterval = 10;  // application only
  double gracePeriod = 3;
  bool folderAccessExplained = false;
  bool onboardingDone = false;  // application only
  double ghostMinimumAge = 60;
  ReaperRules reaper;
  DiskRules disk;
  MCPSettings mcp;
  AgentNotifyRules agentNotify;
  // hogs, diskWrites, storms, localModels and keepAwake belong to the application:
  // they are checked to be records, so that a complete file reads, and not kept.

  /// Key by key over the defaults; any key of the wrong type makes the whole value
  /// invalid (nothing), so the caller falls back to every default. Times outside
  /// their ranges are moved to the nearest bound, as the disk numbers are.
  static std::optional<GlimmetSettings> fromJson(const nlohmann::json& json);
  bool operator==(const GlimmetSettings&) const = default;

  /// settings.json from `store`, or every default when it is missing or invalid.
  /// The defaults are never written back: the file belongs to the application.
  static GlimmetSettings load(const JSONStore& store);
};

}  // namespace glimmet
