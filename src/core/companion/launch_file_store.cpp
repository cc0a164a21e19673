// The launch files on disk.
#include "core/companion/launch_file_store.h"

#include "platform/file_system.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/system_error.h"

namespace glimmet {
namespace {

// Both files are well under a kilobyte; a larger one was not written by us.
constexpr size_t kMaxLaunchFileBytes = 64 * 1024;

}  // namespace

LaunchFilePlaces LaunchFilePlaces::forUser(const Environment& environment) {
  const auto configured = environment.absolutePath("XDG_CONFIG_HOME");
  const std::filesystem::path config =
      configured ? std::filesystem::path(*configured) : platform::homeDir(environment) / ".config";
  const auto units = config / "systemd/user";
  return {units / companion_files::unitName,
          units / "default.target.wants" / companion_files::unitName,
          config / "autostart" / companion_files::autostartName};
}

LaunchFileContent readLaunchFile(const std::filesystem::path& path) {
  const auto status = platform::linkStatus(path);
  if (!status)
    return {platform::entryExists(path) ? LaunchFileContent::Kind::other
                                        : LaunchFileContent::Kind::absent,
            {}};
  // We only ever write a regular file: anything else in its place is the user's.
  if (status->kind != platform::FileStatus::Kind::file) return {LaunchFileContent::Kind::other, {}};
  auto text = platform::readFile(path, kMaxLaunchFileBytes);
  if (!text) return {LaunchFileContent::Kind::other, {}};
  return {LaunchFileContent::Kind::text, std::move(*text)};
}

bool isLinkTo(const std::filesystem::path& link, const std::filesystem::path& target) {
  const auto destination = platform::linkTarget(link);
  return destination && *destination == target;
}

void writeLaunchFile(const std::filesystem::path& path, std::string_view text) {
  platform::createDirectories(path.parent_path(), 0700);
  platform::writeFileAtomically(path, text, 0644);
}

void removeLaunchFile(const std::filesystem::path& path) {
  int error = 0;
  if (!platform::removeFile(path, error))
    throw platform::SystemError("Couldn't remove " + path.string(), error);
}

}  // namespace glimmet
