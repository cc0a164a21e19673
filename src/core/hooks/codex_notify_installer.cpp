// Adding and removing Glimmet's notify line in Codex's config.toml, with a backup
// that lets an uninstall put an untouched file back byte for byte.
#include "core/hooks/codex_notify_installer.h"

#include "core/error.h"
#include "core/hooks/codex_notify_text.h"
#include "platform/file_system.h"
#include "platform/files.h"

namespace glimmet::hooks {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kOtherNotify =
    "Codex already runs another notify program, so Glimmet won't replace it. Add Glimmet's "
    "command to that program, or remove it first.";

bool hasOwnLine(std::string_view config) {
  const auto existing = codex_notify::topLevelNotify(config);
  return existing && codex_notify::isOwnNotifyLine(*existing);
}

}  // namespace

fs::path codexConfigPath(const Environment& environment, const fs::path& home) {
  const auto configured = environment.get("CODEX_HOME");
  if (configured && !configured->empty()) return fs::path(*configured) / "config.toml";
  return home / ".codex" / "config.toml";
}

CodexNotifyInstaller::CodexNotifyInstaller(fs::path configURL, std::string cliPath)
    : file_(configURL, "Codex config file"),
      cliPath_(std::move(cliPath)),
      backup_(configURL, ".glimmet-backup") {}

bool CodexNotifyInstaller::isInstalled() const {
  const auto text = platform::readFile(file_.path(), kMaxConfigBytes);
  return text && hasOwnLine(*text);
}

std::optional<std::string> CodexNotifyInstaller::installedPath() const {
  const auto text = platform::readFile(file_.path(), kMaxConfigBytes);
  if (!text) return std::nullopt;
  const auto existing = codex_notify::topLevelNotify(*text);
  return existing ? codex_notify::ownProgram(*existing) : std::nullopt;
}

InstallOutcome CodexNotifyInstaller::install() const {
  if (!fs::path(cliPath_).is_absolute())
    throw CommandFailure("Glimmet's path must be absolute to be used by Codex: " + cliPath_,
                         ExitStatus::usage);
  const ConfigSnapshot before = file_.read();
  const auto text = codex_notify::withNotify(before.bytes, cliPath_);
  if (!text) throw CommandFailure(std::string(kOtherNotify), ExitStatus::cannotStart);
  if (before.exists && *text == before.bytes) return InstallOutcome::alreadyInstalled;
  if (before.exists && hasOwnLine(before.bytes)) {
    backup_.followRewrite(before, *text);
    file_.replace(before, *text);
    return InstallOutcome::updated;
  }
  platform::createDirectories(file_.path().parent_path(), 0700);
  backup_.save(before, *text);
  file_.replace(before, *text);
  return InstallOutcome::installed;
}

UninstallOutcome CodexNotifyInstaller::uninstall() const {
  const ConfigSnapshot now = file_.read();
  if (!now.exists || !hasOwnLine(now.bytes)) return UninstallOutcome::notInstalled;
  if (backup_.restoreUntouched(file_, now)) return UninstallOutcome::restoredOriginal;
  file_.replace(now, codex_notify::withoutNotify(now.bytes));
  platform::removeFile(backup_.recordPath());
  return UninstallOutcome::removedEntryOnly;
}

}  // namespace glimmet::hooks
