// The user's disk settings: the "disk" record of settings.json.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace glimmet {

struct DiskRules {
  bool includeProtectedFolders = false;
  int64_t staleProjectDays = 90;  // 7 to 3650
  int64_t agentHistoryDays = 30;  // 1 to 3650
  int64_t discoveryDepth = 6;     // 1 to 12
  std::vector<std::string> excludePatterns;
  std::vector<std::string> extraRoots;
  bool showInMenuBar = true;                   // application only
  uint64_t menuBarThreshold = 10'000'000'000;  // application only
  std::vector<std::string> protectedPaths;
  int64_t maxWalkers = 4;  // 1 to 8

  /// Numbers outside their bounds moved to the nearest bound; never rejected.
  DiskRules clamped() const;

  /// Decodes with defaults for missing keys, then clamps.
  static std::optional<DiskRules> fromJson(const nlohmann::json& json);
  /// All ten keys.
  nlohmann::json toJson() const;

  bool operator==(const DiskRules&) const = default;
};

}  // namespace glimmet
