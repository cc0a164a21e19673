// DiskRules decoding and clamping.
#include "core/settings/disk_rules.h"

#include "core/settings/json_fields.h"
#include "core/settings/setting_ranges.h"

namespace glimmet {

DiskRules DiskRules::clamped() const {
  DiskRules rules = *this;
  rules.staleProjectDays = setting_ranges::staleProjectDays.clamp(staleProjectDays);
  rules.agentHistoryDays = setting_ranges::agentHistoryDays.clamp(agentHistoryDays);
  rules.discoveryDepth = setting_ranges::discoveryDepth.clamp(discoveryDepth);
  rules.maxWalkers = setting_ranges::maxWalkers.clamp(maxWalkers);
  return rules;
}

std::optional<DiskRules> DiskRules::fromJson(const nlohmann::json& json) {
  DiskRules rules;
  FieldReader reader(json);
  reader.read("includeProtectedFolders", rules.includeProtectedFolders)
      .read("staleProjectDays", rules.staleProjectDays)
      .read("agentHistoryDays", rules.agentHistoryDays)
      .read("discoveryDepth", rules.discoveryDepth)
      .read("excludePatterns", rules.excludePatterns)
      .read("extraRoots", rules.extraRoots)
      .read("showInMenuBar", rules.showInMenuBar)
      .read("menuBarThreshold", rules.menuBarThreshold)
      .read("protectedPaths", rules.protectedPaths)
      .read("maxWalkers", rules.maxWalkers);
  if (!reader.valid()) return std::nullopt;
  return rules.clamped();
}

nlohmann::json DiskRules::toJson() const {
  return {
      {"includeProtectedFolders", includeProtectedFolders},
      {"staleProjectDays", staleProjectDays},
      {"agentHistoryDays", agentHistoryDays},
      {"discoveryDepth", discoveryDepth},
      {"excludePatterns", excludePatterns},
      {"extraRoots", extraRoots},
      {"showInMenuBar", showInMenuBar},
      {"menuBarThreshold", menuBarThreshold},
      {"protectedPaths", protectedPaths},
      {"maxWalkers", maxWalkers},
  };
}

}  // namespace glimmet
