// Links the tool into a folder on the user's command search path, recognising
// its own links and never replacing anything else.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace glimmet {

class CLIInstaller {
 public:
  struct State {
    enum class Kind { notInstalled, installed, conflict };
    Kind kind = Kind::notInstalled;
    std::filesystem::path conflictPath;  // the link path, for `conflict`

    bool operator==(const State&) const = default;
  };

  class InstallError : public std::runtime_error {
   public:
    enum class Kind { exists, failed, needsAdmin };
    static InstallError exists(const std::filesystem::path& path);
    static InstallError failed(const std::string& reason);
    static InstallError needsAdmin();
    Kind kind() const noexcept { return kind_; }

   private:
    InstallError(Kind kind, const std::string& message)
        : std::runtime_error(message), kind_(kind) {}
    Kind kind_;
  };

  /// `linkPath` comes from platform::toolLinkPath.
  explicit CLIInstaller(std::filesystem::path linkPath) : linkPath_(std::move(linkPath)) {}

  const std::filesystem::path& linkPath() const { return linkPath_; }

  /// The link's state for the tool at `source`.
  State state(const std::filesystem::path& source) const;
  /// Creates or refreshes the link. Throws InstallError.
  void install(const std::filesystem::path& source) const;
  /// Removes the link when it is ours. Throws InstallError.
  void uninstall(const std::filesystem::path& source) const;

  /// The commands the application offers when the folder needs administrator rights.
  std::string adminInstallCommand(const std::filesystem::path& source) const;
  std::string adminUninstallCommand() const;

 private:
  std::filesystem::path linkPath_;
};

}  // namespace glimmet
