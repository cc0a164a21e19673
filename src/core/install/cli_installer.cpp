// CLIInstaller.
#include "core/install/cli_installer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/util/shell_quote.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/system_error.h"

namespace glimmet {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBundleHelperSuffix = "Glimmet.app/Contents/Helpers/glimmet";

bool endsWith(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The folder is writable, or missing below a writable ancestor that we may
// create it in.
bool folderWritable(const fs::path& folder) {
  for (fs::path current = folder;; current = current.parent_path()) {
    struct stat info {};
    if (::stat(current.c_str(), &info) == 0)
      return S_ISDIR(info.st_mode) && ::access(current.c_str(), W_OK) == 0;
    if (errno != ENOENT || current == current.parent_path()) return false;
  }
}

}  // namespace

CLIInstaller::InstallError CLIInstaller::InstallError::exists(const fs::path& path) {
  return {Kind::exists,
          path.string() + " already exists and isn't Glimmet's, so Glimmet won't replace it."};
}

CLIInstaller::InstallError CLIInstaller::InstallError::failed(const std::string& reason) {
  return {Kind::failed, "Couldn't change the command line tool: " + reason};
}

CLIInstaller::InstallError CLIInstaller::InstallError::needsAdmin() {
  return {Kind::needsAdmin, "This folder needs an administrator password."};
}

CLIInstaller::State CLIInstaller::state(const fs::path& source) const {
  std::error_code error;
  const auto status = fs::symlink_status(linkPath_, error);
  if (fs::is_symlink(status)) {
    const auto target = fs::read_symlink(linkPath_, error);
    if (!error) {
      const auto text = target.string();
      const auto absolute = target.is_absolute() ? target : linkPath_.parent_path() / target;
      if (target == source || endsWith(text, kBundleHelperSuffix) ||
          platform::isOwnInstallTarget(absolute))
        return {State::Kind::installed, {}};
    }
    return {State::Kind::conflict, linkPath_};
  }
  if (fs::exists(status)) return {State::Kind::conflict, linkPath_};
  return {};
}

void CLIInstaller::install(const fs::path& source) const {
  const State current = state(source);
  std::error_code error;
  if (current.kind == State::Kind::installed && fs::read_symlink(linkPath_, error) == source)
    return;
  if (current.kind == State::Kind::conflict) throw InstallError::exists(linkPath_);
  const auto folder = linkPath_.parent_path();
  if (!folderWritable(folder)) throw InstallError::needsAdmin();
  try {
    platform::createDirectories(folder, 0755);
  } catch (const platform::SystemError& failure) {
    throw InstallError::failed(platform::describeError(failure.error()));
  }
  // Only our own older link is removed; symlink(2) then refuses to replace
  // anything that appeared meanwhile.
  if (current.kind == State::Kind::installed && ::unlink(linkPath_.c_str()) != 0 && errno != ENOENT)
    throw InstallError::failed(platform::describeError(errno));
  if (::symlink(source.c_str(), linkPath_.c_str()) != 0)
    throw InstallError::failed(platform::describeError(errno));
}

void CLIInstaller::uninstall(const fs::path& source) const {
  if (state(source).kind != State::Kind::installed) return;
  if (::access(linkPath_.parent_path().c_str(), W_OK) != 0) throw InstallError::needsAdmin();
  if (::unlink(linkPath_.c_str()) != 0 && errno != ENOENT)
    throw InstallError::failed(platform::describeError(errno));
}

std::string CLIInstaller::adminInstallCommand(const fs::path& source) const {
  // GNU ln has no -h; -n is its way of not descending into a link to a folder.
  return "mkdir -p " + shellQuote(linkPath_.parent_path().string()) + " && ln -sfn " +
         shellQuote(source.string()) + " " + shellQuote(linkPath_.string());
}

std::string CLIInstaller::adminUninstallCommand() const {
  return "rm " + shellQuote(linkPath_.string());
}

}  // namespace glimmet
