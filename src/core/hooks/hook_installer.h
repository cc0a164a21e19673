// Claude Code hooks that call glimmet: one purpose reaps a session's leftovers
// when it ends, the other reports finished turns and prompts. The settings file
// is the user's: it is changed only when it parses as a JSON object, only our own
// entries are added or removed, and the file as it was is kept beside it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/hooks/agent_config_file.h"
#include "platform/environment.h"

namespace glimmet::hooks {

enum class HookPurpose { reapOnSessionEnd, notify };

/// `$CLAUDE_CONFIG_DIR/settings.json` when set and not empty, else ~/.claude/settings.json.
std::filesystem::path claudeSettingsPath(const Environment& environment,
                                         const std::filesystem::path& home);

/// What one purpose installs: the events, the command line, its timeout, and the
/// text that identifies it in the file.
struct HookKind {
  std::vector<std::string> events;
  std::string command;
  int timeoutSeconds = 0;
  std::string marker;
  std::string backupSuffix;
};

/// `cliPath` is placed between single quotes in the command, so a path holding a
/// single quote would break out of them: such a path is refused by the installer.
HookKind hookKind(HookPurpose purpose, std::string_view cliPath);

class HookInstaller {
 public:
  HookInstaller(std::filesystem::path settingsURL, std::string cliPath, HookPurpose purpose);

  bool isInstalled() const;
  /// Adds the hook; a second install is a no-op, or points the hook at this
  /// `cliPath` when it runs another. Throws CommandFailure with the invalid-JSON
  /// or not-an-object message (and the other refusals of AgentConfigFile),
  /// leaving the file and its backups unwritten.
  InstallOutcome install() const;
  /// The glimmet the installed hook runs, when it is installed.
  std::optional<std::string> installedPath() const;
  UninstallOutcome uninstall() const;

  const std::filesystem::path& settingsURL() const { return file_.path(); }
  const ChangeBackup& backup() const { return backup_; }

 private:
  /// The settings as a JSON object, or the refusal.
  nlohmann::ordered_json parsedObject(const ConfigSnapshot& snapshot) const;

  AgentConfigFile file_;
  std::string cliPath_;
  HookPurpose purpose_;
  HookKind kind_;
  ChangeBackup backup_;
};

/// The settings text for a root object in Claude Code's own style: keys in their
/// order, two-space indent, slashes as they are, one final line feed.
std::string settingsText(const nlohmann::ordered_json& root);

}  // namespace glimmet::hooks
