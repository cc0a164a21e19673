// apps leftovers: the files one app keeps in the user's folders, and what is
// left alone; or, for a name that matches no app, the same document without one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/apps/app_leftover.h"
#include "core/error.h"
#include "core/output/document.h"
#include "logic/apps/app_entry.h"

namespace glimmet {

struct LeftoverEntry {
  std::string path;
  std::string folder;  ///< the searched folder's display name (".cache", "Caches")
  LeftoverConfidence match = LeftoverConfidence::exact;
  std::optional<uint64_t> bytes;
  std::optional<std::string> modified;  ///< ISO 8601
};

struct AppLeftoversDocument {
  AppEntry app;
  std::vector<LeftoverEntry> leftovers;
  std::vector<std::string> notRemoved;  ///< what the uninstaller leaves alone, and why
  std::filesystem::path home;           ///< paths inside it are shown with "~"

  static AppLeftoversDocument from(const AppLeftoverReport& report,
                                   const std::filesystem::path& home);
  /// {"schema": 1, "app": ..., "leftovers": [...], "notRemoved": [...]}
  nlohmann::json toJson() const;
  /// The exclusion sentence, or the header with one line per leftover.
  std::vector<std::string> lines() const;
  ExitStatus status(OutputFormat) const { return ExitStatus::ok; }
};

/// {"schema": 1, "error": message, "leftovers": [], "notRemoved": []}: the same
/// document without an app, so a script reading JSON never has to parse a sentence.
struct AppNotFoundDocument {
  std::string message;

  nlohmann::json toJson() const;
  std::vector<std::string> lines() const { return {message}; }
  ExitStatus status(OutputFormat) const { return ExitStatus::nothingFound; }
};

}  // namespace glimmet
