// What `glimmet settings set` and `unset` do to settings.json, decided from the
// file as read: the new contents, or a refusal. Keys glimmet doesn't know and
// the application's own records pass through untouched, and a file glimmet
// can't read is left alone unless the person asks for it to be replaced.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/settings/glimmet_settings.h"
#include "core/settings/settings_file.h"
#include "logic/settings/setting_keys.h"

namespace glimmet {

/// Why the file reads as every default ("isn't valid JSON"), or nothing when it
/// reads (or is missing).
std::optional<std::string> settingsFileProblem(const SettingsFileRead& file);

/// The settings commands run on, from the file as read: every default when it
/// is missing or has a problem.
GlimmetSettings settingsFrom(const SettingsFileRead& file);

struct SettingsChange {
  const SettingKey& key;
  std::optional<nlohmann::json> value;  ///< nothing: unset, back to the default
};

struct SettingsEdit {
  std::optional<SettingsFileWrite> write;  ///< nothing: the file stays as it is
  std::vector<std::string> lines;          ///< what the command says
};

/// The edit of `file` (shown to the person as `fileLabel`). A file with a
/// problem is refused with a CommandFailure (cannotStart) unless
/// `replaceCorrupt`: then what can't be read is dropped, or the whole file when
/// it isn't a JSON object, and the old file is kept aside.
SettingsEdit planSettingsEdit(const SettingsFileRead& file, const SettingsChange& change,
                              bool replaceCorrupt, const std::string& fileLabel);

}  // namespace glimmet
