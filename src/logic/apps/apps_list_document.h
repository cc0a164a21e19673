// apps list: every installed app with its size and how many leftovers it has.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/output/document.h"
#include "logic/apps/app_entry.h"

namespace glimmet {

struct AppsListDocument {
  std::vector<AppEntry> apps;

  /// {"schema": 1, "apps": [...]}
  nlohmann::json toJson() const;
  /// "12.3 MB    Visual Studio Code (code, 2 leftovers)", or "No apps found."
  std::vector<std::string> lines() const;
  /// An empty list is still an answer: status 0 in both forms.
  ExitStatus status(OutputFormat) const { return ExitStatus::ok; }
};

}  // namespace glimmet
