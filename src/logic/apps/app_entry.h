// One installed app as the apps documents show it, in the list and at the head
// of its leftovers.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "core/apps/installed_app.h"

namespace glimmet {

struct AppEntry {
  std::string name;
  std::string path;
  std::optional<std::string> bundleID;
  std::optional<std::string> version;
  std::optional<uint64_t> bytes;
  uint64_t leftovers = 0;
  bool appStore = false;
  bool needsAdmin = false;
  bool uninstallable = false;
  std::optional<AppExclusion> excluded;  ///< written as its raw value ("noBundleID")
  std::optional<std::string> lastUsed;   ///< ISO 8601, or "never"; unknown on Linux

  static AppEntry from(const InstalledApp& app, uint64_t leftoverCount);
  /// The optional keys are left out when unknown.
  nlohmann::json toJson() const;
};

/// The size column of both listings: "12.3 MB", or "?" when unknown, padded.
std::string sizeColumn(const std::optional<uint64_t>& bytes);

}  // namespace glimmet
