// The apps list and apps leftovers documents and their text lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/apps/app_leftover_finder.h"
#include "core/apps/installed_app.h"

namespace glimmet::CLIOutput {

/// One app as both documents show it.
struct AppEntry {
  std::string name;
  std::string path;
  std::optional<std::string> bundleId;
  std::optional<std::string> version;
  std::optional<uint64_t> bytes;
  uint64_t leftovers = 0;
  bool appStore = false;
  bool needsAdmin = false;
  bool uninstallable = false;
  std::optional<AppExclusion> excluded;  ///< written as its raw value ("noBundleID")
  std::optional<std::string> lastUsed;   ///< ISO 8601, or "never"; unknown on Linux
};

struct LeftoverEntry {
  std::string path;
  std::string folder;  ///< the searched folder's display name (".cache", "Caches")
  std::string match;   ///< "exact", "likely" or "orphan"
  std::optional<uint64_t> bytes;
  std::optional<std::string> modified;
};

struct AppLeftovers {
  AppEntry app;
  std::vector<LeftoverEntry> leftovers;
  std::vector<std::string> notRemoved;
};

AppEntry appEntry(const InstalledApp& app, uint64_t leftoverCount);
AppLeftovers appLeftovers(const AppLeftoverReport& report);

nlohmann::json toJson(const AppEntry& entry);
/// {"schema": 1, "apps": [...]}
nlohmann::json appsListDocument(const std::vector<AppEntry>& apps);
/// {"schema": 1, "app": ..., "leftovers": [...], "notRemoved": [...]}
nlohmann::json appLeftoversDocument(const AppLeftovers& leftovers);
/// {"schema": 1, "error": message, "leftovers": [], "notRemoved": []}: the same document
/// without an app, so a script reading --json never has to parse a sentence.
nlohmann::json appNotFoundDocument(const std::string& message);

/// "12.3 MB    Visual Studio Code (code, 2 leftovers)", or "No apps found."
std::vector<std::string> appsListLines(const std::vector<AppEntry>& apps);
/// The exclusion sentence, or the header with one line per leftover. Paths inside
/// `home` are shown with "~".
std::vector<std::string> appLeftoversLines(const AppLeftoverReport& report,
                                           const std::filesystem::path& home);

}  // namespace glimmet::CLIOutput
