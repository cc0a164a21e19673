// Settings edits.
#include "logic/settings/settings_edit.h"

#include <stdexcept>

#include "core/error.h"
#include "core/settings/json_store.h"

namespace glimmet {
namespace {

using nlohmann::json;

bool readsAsSettings(const std::string& name, const json& value) {
  json alone = json::object();
  alone[name] = value;
  return GlimmetSettings::fromJson(alone).has_value();
}

// The keys whose values the record can't decode, each tried alone through the
// record's own decoder so that its rules are the only ones: "ghostMinimumAge",
// "reaper.interval", or "hogs" for an application record that isn't an object.
std::vector<std::string> unreadableKeys(const json& object) {
  std::vector<std::string> keys;
  for (const auto& [name, value] : object.items()) {
    if (readsAsSettings(name, value)) continue;
    // Only a record's fields are tried one by one: an object where a number
    // belongs is wrong as a whole.
    const auto before = keys.size();
    if (value.is_object() && readsAsSettings(name, json::object()))
      for (const auto& [field, inner] : value.items())
        if (!readsAsSettings(name, json{{field, inner}})) keys.push_back(name + "." + field);
    if (keys.size() == before) keys.push_back(name);
  }
  return keys;
}

std::string joined(const std::vector<std::string>& words) {
  std::string text;
  for (const auto& word : words) text += (text.empty() ? "" : ", ") + word;
  return text;
}

void erase(json& object, const std::vector<std::string>& path) {
  json* parent = &object;
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    const auto found = parent->find(path[i]);
    if (found == parent->end() || !found->is_object()) return;
    parent = &*found;
  }
  parent->erase(path.back());
}

bool contains(const json& object, const std::vector<std::string>& path) {
  const json* place = &object;
  for (const auto& part : path) {
    if (!place->is_object()) return false;
    const auto found = place->find(part);
    if (found == place->end()) return false;
    place = &*found;
  }
  return !place->is_null();
}

}  // namespace

std::optional<std::string> settingsFileProblem(const SettingsFileRead& file) {
  switch (file.kind) {
    case SettingsFileRead::Kind::missing:
      return std::nullopt;
    case SettingsFileRead::Kind::unusable:
      return "can't be read as a settings file (a link, a folder, another user's file or over " +
             std::to_string(kMaxStoredFileBytes >> 20) + " MiB)";
    case SettingsFileRead::Kind::notJson:
      return "isn't valid JSON";
    case SettingsFileRead::Kind::json:
      break;
  }
  if (!file.json.is_object()) return "isn't a JSON object";
  const auto keys = unreadableKeys(file.json);
  if (keys.empty()) return std::nullopt;
  return "has values glimmet can't read (" + joined(keys) + ")";
}

GlimmetSettings settingsFrom(const SettingsFileRead& file) {
  if (file.kind != SettingsFileRead::Kind::json) return {};
  return GlimmetSettings::fromJson(file.json).value_or(GlimmetSettings{});
}

SettingsEdit planSettingsEdit(const SettingsFileRead& file, const SettingsChange& change,
                              bool replaceCorrupt, const std::string& fileLabel) {
  SettingsEdit edit;
  const auto problem = settingsFileProblem(file);
  const bool usable = file.kind == SettingsFileRead::Kind::json && file.json.is_object();
  if (problem && !replaceCorrupt)
    throw CommandFailure("Your " + fileLabel + " " + *problem +
                             ", so glimmet won't change it. Fix it, or add --replace-corrupt to " +
                             (usable ? "drop those values" : "start it anew") +
                             " (the old file is kept as " + std::string(kReplacedSettingsFile) +
                             ").",
                         ExitStatus::cannotStart);

  json contents = usable ? file.json : json::object();
  const std::string aside = std::string(kReplacedSettingsFile);
  if (problem && usable) {
    const auto keys = unreadableKeys(contents);
    for (const auto& key : keys) erase(contents, dottedPath(key));
    edit.lines.push_back("Dropped what glimmet can't read from " + fileLabel + " (" + joined(keys) +
                         "); the old file is now " + aside + ".");
  } else if (problem) {
    edit.lines.push_back("Replaced " + fileLabel + ", which " + *problem +
                         "; the old file is now " + aside + ".");
  }

  const auto path = change.key.path();
  const std::string name(change.key.name);
  const std::string defaultText = settingValueText(change.key, change.key.defaultValue());
  if (change.value) {
    json* place = &contents;
    for (const auto& part : path) place = &(*place)[part];
    *place = *change.value;
    edit.lines.push_back("Set " + name + " to " + settingValueText(change.key, *change.value) +
                         ".");
  } else if (contains(contents, path)) {
    erase(contents, path);
    // A record left empty by the unset goes too: it reads the same.
    if (path.size() > 1 && contents.at(path.front()).empty()) contents.erase(path.front());
    edit.lines.push_back("Unset " + name + ": it's back to its default, " + defaultText + ".");
  } else {
    edit.lines.push_back(name + " isn't set: it's at its default, " + defaultText + ".");
    if (!problem) return edit;
  }

  // Every key glimmet writes is one the record reads: a change that made the
  // file unreadable would silently turn every setting back to its default.
  if (!GlimmetSettings::fromJson(contents))
    throw std::logic_error("settings edit produced a record that doesn't read: " + name);
  edit.write = SettingsFileWrite{std::move(contents), problem.has_value()};
  return edit;
}

}  // namespace glimmet
