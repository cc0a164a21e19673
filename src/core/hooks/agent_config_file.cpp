// Agent configuration files read whole and checked, replaced atomically, and
// the backups that let an uninstall put them back.
#include "core/hooks/agent_config_file.h"

#include <fmt/format.h>

#include <cerrno>

#include "core/error.h"
#include "core/output/json_writer.h"
#include "core/util/sha256.h"
#include "platform/file_system.h"
#include "platform/files.h"
#include "platform/system_error.h"

namespace glimmet::hooks {
namespace fs = std::filesystem;

std::optional<ChangeRecord> ChangeRecord::fromJson(const nlohmann::json& json) {
  if (!json.is_object()) return std::nullopt;
  const auto existed = json.find("originalExisted");
  const auto digest = json.find("installedSHA256");
  if (existed == json.end() || !existed->is_boolean() || digest == json.end() ||
      !digest->is_string())
    return std::nullopt;
  return ChangeRecord{existed->get<bool>(), digest->get<std::string>()};
}

nlohmann::json ChangeRecord::toJson() const {
  return {{"originalExisted", originalExisted}, {"installedSHA256", installedSHA256}};
}

void AgentConfigFile::refuse(std::string_view reason) const {
  throw CommandFailure(fmt::format("Your {} {}", label_, reason), ExitStatus::cannotStart);
}

ConfigSnapshot AgentConfigFile::read() const {
  int error = 0;
  const auto info = platform::lstatPath(path_, error);
  if (!info) {
    if (error == ENOENT) return {};
    refuse(fmt::format("can't be read ({}), so Glimmet won't change it.",
                       platform::describeError(error)));
  }
  // Renaming over a link would replace the user's link with a plain file and
  // leave the file it points to unchanged: never what they meant.
  if (info->kind == platform::FileStatus::Kind::symlink)
    refuse("is a symbolic link, so Glimmet won't change it.");
  if (info->kind != platform::FileStatus::Kind::file)
    refuse("isn't a regular file, so Glimmet won't change it.");
  // A file without write permission was made so on purpose; an atomic rename
  // would get past that, so the permission is honoured here instead.
  if ((info->mode & 0222) == 0) refuse("is read-only, so Glimmet won't change it.");
  if (info->size > kMaxConfigBytes)
    refuse("is too large to be a settings file, so Glimmet won't change it.");
  auto bytes = platform::readFile(path_, kMaxConfigBytes);
  if (!bytes) refuse("can't be read, so Glimmet won't change it.");
  return {true, std::move(*bytes), static_cast<mode_t>(info->mode & 07777)};
}

void AgentConfigFile::checkUnchanged(const ConfigSnapshot& before) const {
  ConfigSnapshot now = read();
  if (now.exists != before.exists || now.bytes != before.bytes)
    refuse("changed while Glimmet was editing it, so Glimmet left it as it is. Try again.");
}

void AgentConfigFile::replace(const ConfigSnapshot& before, std::string_view bytes) const {
  checkUnchanged(before);
  try {
    platform::writeFileAtomically(path_, bytes, before.mode);
  } catch (const platform::SystemError& error) {
    refuse(fmt::format("couldn't be written ({}); it is unchanged.", error.what()));
  }
}

void AgentConfigFile::remove(const ConfigSnapshot& before) const {
  checkUnchanged(before);
  int error = 0;
  if (!platform::removeFile(path_, error))
    refuse(fmt::format("couldn't be removed ({}).", platform::describeError(error)));
}

fs::path besideWithSuffix(const fs::path& path, std::string_view suffix) {
  fs::path result = path;
  result += suffix;
  return result;
}

void ChangeBackup::save(const ConfigSnapshot& before, std::string_view installed) const {
  if (before.exists) platform::writeFileAtomically(copy_, before.bytes, 0600);
  const ChangeRecord record{before.exists, sha256Hex(installed)};
  platform::writeFileAtomically(record_, writeJson(record.toJson()) + "\n", 0600);
}

namespace {

std::optional<ChangeRecord> readRecord(const fs::path& path) {
  const auto bytes = platform::readFile(path, 64 * 1024);
  if (!bytes) return std::nullopt;
  return ChangeRecord::fromJson(nlohmann::json::parse(*bytes, nullptr, false));
}

}  // namespace

std::optional<std::optional<std::string>> ChangeBackup::original() const {
  const auto record = readRecord(record_);
  if (!record) return std::nullopt;
  if (!record->originalExisted) return std::optional<std::string>{};
  auto original = platform::readFile(copy_, kMaxConfigBytes);
  if (!original) return std::nullopt;
  return std::optional<std::string>{std::move(*original)};
}

std::optional<std::optional<std::string>> ChangeBackup::restorable(
    const ConfigSnapshot& now) const {
  const auto record = readRecord(record_);
  if (!record || !now.exists || sha256Hex(now.bytes) != record->installedSHA256)
    return std::nullopt;
  return original();
}

void ChangeBackup::followRewrite(const ConfigSnapshot& before, std::string_view installed) const {
  auto record = readRecord(record_);
  if (!record || !before.exists || sha256Hex(before.bytes) != record->installedSHA256) return;
  record->installedSHA256 = sha256Hex(installed);
  platform::writeFileAtomically(record_, writeJson(record->toJson()) + "\n", 0600);
}

void ChangeBackup::discard() const {
  platform::removeFile(copy_);
  platform::removeFile(record_);
}

bool ChangeBackup::restoreUntouched(const AgentConfigFile& file, const ConfigSnapshot& now) const {
  const auto original = restorable(now);
  if (!original) return false;
  if (*original)
    file.replace(now, **original);
  else
    file.remove(now);
  discard();
  return true;
}

}  // namespace glimmet::hooks
