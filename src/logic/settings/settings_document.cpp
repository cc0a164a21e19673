// The settings listing.
#include "logic/settings/settings_document.h"

#include "core/output/text.h"
#include "logic/settings/setting_keys.h"

namespace glimmet {
namespace {

// The longest key, reaper.includeOrphanedDevServers.
constexpr size_t kKeyWidth = 32;

}  // namespace

nlohmann::json SettingsDocument::toJson() const {
  auto document = effectiveSettings(settings);
  document["schema"] = 1;
  return document;
}

std::vector<std::string> SettingsDocument::lines() const {
  std::vector<std::string> lines;
  for (const auto& key : settingKeys()) {
    const auto value = key.read(settings);
    const auto defaultValue = key.defaultValue();
    const std::string tag =
        value == defaultValue ? "default" : "set; default " + settingValueText(key, defaultValue);
    lines.push_back(padCut(key.name, kKeyWidth) + " " + settingValueText(key, value) +
                    bracketTag(tag));
  }
  if (problem) lines.push_back("Every key shows its default: " + fileLabel + " " + *problem + ".");
  return lines;
}

}  // namespace glimmet
