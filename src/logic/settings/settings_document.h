// glimmet settings: every key with the value the tool runs on and whether it is
// the default; with --json, the effective record.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/output/document.h"
#include "core/settings/glimmet_settings.h"

namespace glimmet {

struct SettingsDocument {
  GlimmetSettings settings;
  std::string fileLabel;               ///< the settings file as the user reads it
  std::optional<std::string> problem;  ///< why the file counts as absent

  /// The effective record with "schema": 1, which settings.json may hold too:
  /// it is a key the record ignores.
  nlohmann::json toJson() const;
  /// One line per key, "reaper.minimumAge  6h  [default]", then a word on a
  /// file that counts as absent.
  std::vector<std::string> lines() const;
  ExitStatus status(OutputFormat) const { return ExitStatus::ok; }
};

}  // namespace glimmet
