// Every key of the settings record that `glimmet settings` shows and edits,
// each described once: its dotted name, its type, its range and where its
// value lives in GlimmetSettings. Listing, parsing, validation and the shells'
// completion all read this table, and the defaults come from the record itself.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/glimmet_settings.h"

namespace glimmet {

enum class SettingType {
  boolean,          ///< true or false
  optionalBoolean,  ///< true or false, or absent (unset)
  duration,         ///< seconds, typed as 6h, 30m, 90s or a number of seconds
  number,           ///< any finite number
  integer,          ///< a whole number
  textList,         ///< a JSON list of strings
};

struct SettingKey {
  std::string_view name;  ///< dotted: "reaper.minimumAge"
  SettingType type;
  std::optional<double> lowest;   ///< inclusive, for durations and numbers
  std::optional<double> highest;  ///< inclusive
  /// The key's value in `settings` as JSON; null when an optional one is absent.
  nlohmann::json (*read)(const GlimmetSettings& settings);

  nlohmann::json defaultValue() const { return read(GlimmetSettings{}); }
  /// "reaper", "minimumAge": the path of JSON object keys in settings.json.
  std::vector<std::string> path() const;
};

/// "reaper.minimumAge" as its path of object keys: "reaper", "minimumAge".
std::vector<std::string> dottedPath(std::string_view name);

/// Every key, in the order the record declares them.
std::span<const SettingKey> settingKeys();

/// The key with exactly this name. Throws UsageError naming it otherwise (and,
/// for a record such as "reaper", the keys inside it).
const SettingKey& settingKey(std::string_view name);

/// `text` as the key's JSON value. Throws UsageError naming the key and what it
/// accepts when the text isn't of its type or lies outside its range.
nlohmann::json parseSettingValue(const SettingKey& key, std::string_view text);

/// What the key accepts: "a duration from 1s to 15s, like 6h, 30m, 90s or a
/// number of seconds".
std::string acceptedValues(const SettingKey& key);

/// A value as `set` takes it back: "6h", "true", "4", ["a","b"]; "not set"
/// for an absent optional one.
std::string settingValueText(const SettingKey& key, const nlohmann::json& value);

/// The record as the tool reads it: every key at its path, absent optional
/// ones left out.
nlohmann::json effectiveSettings(const GlimmetSettings& settings);

/// "6h", "30m", "90s", "1.5s", "0s": the largest unit that holds it whole.
std::string durationText(double seconds);

}  // namespace glimmet
