// settings.json reads and locked edits.
#include "core/settings/settings_file.h"

#include "core/settings/json_store.h"
#include "core/settings/shared_files.h"
#include "platform/files.h"

namespace glimmet {
namespace {

SettingsFileRead readFrom(const platform::SharedFolder& folder) {
  if (!folder.contains(shared_files::settings)) return {};
  const auto bytes = folder.read(shared_files::settings, kMaxStoredFileBytes);
  if (!bytes) return {SettingsFileRead::Kind::unusable, {}};
  auto json = parseSharedJson(*bytes);
  if (!json) return {SettingsFileRead::Kind::notJson, {}};
  return {SettingsFileRead::Kind::json, std::move(*json)};
}

}  // namespace

SettingsFileRead readSettingsFile(const std::filesystem::path& folder) {
  const auto shared = platform::SharedFolder::open(folder);
  if (!shared) return {};
  return readFrom(*shared);
}

void editSettingsFile(
    const std::filesystem::path& folder,
    const std::function<std::optional<SettingsFileWrite>(const SettingsFileRead&)>& decide) {
  auto shared = platform::SharedFolder::open(folder);
  // Without the folder there is nothing to race with: only an edit that
  // writes makes it.
  if (!shared) {
    if (!decide(SettingsFileRead{})) return;
    shared = platform::SharedFolder::create(folder);
  }
  const auto lock = shared->lock(shared_files::settingsLock, shared_files::commandLockWait);
  const auto write = decide(readFrom(*shared));
  if (!write) return;
  if (write->keepOldAside && shared->contains(shared_files::settings))
    shared->rename(shared_files::settings, kReplacedSettingsFile);
  JSONStore(folder).saveJson(write->contents, shared_files::settings);
}

}  // namespace glimmet
