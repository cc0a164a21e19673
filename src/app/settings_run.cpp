// The settings commands: read the file as every command does, and edit it under its lock.
#include "app/settings_run.h"

#include "core/settings/settings_file.h"
#include "core/settings/shared_files.h"
#include "core/util/home_path.h"
#include "logic/settings/settings_document.h"
#include "logic/settings/settings_edit.h"
#include "platform/paths.h"

namespace glimmet {
namespace {

struct SettingsPlace {
  std::filesystem::path folder;
  std::string label;  ///< the file as the user reads it: "~/.local/share/Glimmet/settings.json"

  explicit SettingsPlace(const RunContext& context)
      : folder(platform::sharedDataDir(context.environment)),
        label(tildePath((folder / shared_files::settings).string(),
                        platform::homeDir(context.environment).string())) {}
};

ExitStatus edit(const std::string& keyName, const std::optional<std::string>& text,
                bool replaceCorrupt, RunContext& context) {
  // Both checks come first: a bad key or value never reaches the file.
  const SettingKey& key = settingKey(keyName);
  const std::optional<nlohmann::json> value =
      text ? std::optional(parseSettingValue(key, *text)) : std::nullopt;
  const SettingsPlace place(context);
  SettingsEdit planned;
  editSettingsFile(place.folder, [&](const SettingsFileRead& file) {
    planned = planSettingsEdit(file, {key, value}, replaceCorrupt, place.label);
    return planned.write;
  });
  for (const auto& line : planned.lines) context.out.line(line);
  return ExitStatus::ok;
}

}  // namespace

std::vector<std::string> settingKeyNames() {
  std::vector<std::string> names;
  for (const auto& key : settingKeys()) names.emplace_back(key.name);
  return names;
}

ExitStatus runSettingsList(const SettingsListRequest& request, RunContext& context) {
  const SettingsPlace place(context);
  const auto file = readSettingsFile(place.folder);
  const SettingsDocument document{settingsFrom(file), place.label, settingsFileProblem(file)};
  return printDocument(context.out, document, outputFormat(request.json));
}

ExitStatus runSettingsGet(const SettingsGetRequest& request, RunContext& context) {
  const SettingKey& key = settingKey(request.key);
  const auto settings = settingsFrom(readSettingsFile(SettingsPlace(context).folder));
  context.out.line(settingValueText(key, key.read(settings)));
  return ExitStatus::ok;
}

ExitStatus runSettingsSet(const SettingsSetRequest& request, RunContext& context) {
  return edit(request.key, request.value, request.replaceCorrupt, context);
}

ExitStatus runSettingsUnset(const SettingsUnsetRequest& request, RunContext& context) {
  return edit(request.key, std::nullopt, request.replaceCorrupt, context);
}

}  // namespace glimmet
