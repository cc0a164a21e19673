// CLIInstaller.
#include "core/install/cli_installer.h"

#include <cerrno>

#include "core/util/shell_quote.h"
#include "platform/file_system.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/symbolic_link.h"
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
    int error = 0;
    if (const auto status = platform::targetStatus(current, error))
      return status->kind == platform::FileStatus::Kind::directory && platform::isWritable(current);
    if (error != ENOENT || current == current.parent_path()) return false;
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
  const auto status = platform::linkStatus(linkPath_);
  if (!status) return {};
  if (status->kind == platform::FileStatus::Kind::symlink) {
    if (const auto target = platform::linkTarget(linkPath_)) {
      const auto text = target->string();
      const auto absolute = target->is_absolute() ? *target : linkPath_.parent_path() / *target;
      if (*target == source || endsWith(text, kBundleHelperSuffix) ||
          platform::isOwnInstallTarget(absolute))
        return {State::Kind::installed, {}};
    }
  }
  return {State::Kind::conflict, linkPath_};
}

void CLIInstaller::install(const fs::path& source) const {
  const State current = state(source);
  if (current.kind == State::Kind::installed && platform::linkTarget(linkPath_) == source) return;
  if (current.kind == State::Kind::conflict) throw InstallError::exists(linkPath_);
  const auto folder = linkPath_.parent_path();
  if (!folderWritable(folder)) throw InstallError::needsAdmin();
  try {
    platform::createDirectories(folder, 0755);
  } catch (const platform::SystemError& failure) {
    throw InstallError::failed(platform::describeError(failure.error()));
  }
  // Only our own older link is removed; making the link then refuses to replace
  // anything that appeared meanwhile.
  int error = 0;
  if (current.kind == State::Kind::installed && !platform::removeFile(linkPath_, error))
    throw InstallError::failed(platform::describeError(error));
  if (!platform::createSymbolicLink(source, linkPath_, error))
    throw InstallError::failed(platform::describeError(error));
}

void CLIInstaller::uninstall(const fs::path& source) const {
  if (state(source).kind != State::Kind::installed) return;
  if (!platform::isWritable(linkPath_.parent_path())) throw InstallError::needsAdmin();
  int error = 0;
  if (!platform::removeFile(linkPath_, error))
    throw InstallError::failed(platform::describeError(error));
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
