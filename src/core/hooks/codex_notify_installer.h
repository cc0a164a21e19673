// The Codex notify line: Codex runs one notify program after each turn, so
// Glimmet adds its own at the top of config.toml, never in place of another's.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "core/hooks/agent_config_file.h"
#include "platform/environment.h"

namespace glimmet::hooks {

/// `$CODEX_HOME/config.toml` when set and not empty, else ~/.codex/config.toml.
std::filesystem::path codexConfigPath(const Environment& environment,
                                      const std::filesystem::path& home);

class CodexNotifyInstaller {
 public:
  CodexNotifyInstaller(std::filesystem::path configURL, std::string cliPath);

  bool isInstalled() const;
  /// Adds the comment and notify lines; a no-op when ours is there, or a change
  /// of its path when it runs another glimmet. Throws CommandFailure with the
  /// other-notify message (file unchanged) or a refusal of AgentConfigFile.
  InstallOutcome install() const;
  /// The glimmet our notify line runs, when it is there.
  std::optional<std::string> installedPath() const;
  /// Puts back the earlier file when untouched since the install, otherwise
  /// removes only our two lines.
  UninstallOutcome uninstall() const;

  const std::filesystem::path& configURL() const { return file_.path(); }
  const ChangeBackup& backup() const { return backup_; }

 private:
  AgentConfigFile file_;
  std::string cliPath_;
  ChangeBackup backup_;
};

}  // namespace glimmet::hooks
