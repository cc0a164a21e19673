// Where the files that start the companion at login go, and reading, writing
// and removing them. The places follow the user's XDG_CONFIG_HOME, where the
// systemd user manager and desktop sessions look for them.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "core/companion/login_start.h"
#include "platform/environment.h"

namespace glimmet {

struct LaunchFilePlaces {
  std::filesystem::path unit;       ///< <config>/systemd/user/glimmet-companion.service
  std::filesystem::path wantsLink;  ///< the link `systemctl enable` makes for the unit
  std::filesystem::path autostart;  ///< <config>/autostart/glimmet-companion.desktop

  /// Under $XDG_CONFIG_HOME when it is absolute, else ~/.config.
  static LaunchFilePlaces forUser(const Environment& environment);
};

LaunchFileContent readLaunchFile(const std::filesystem::path& path);

/// Whether `link` is a symbolic link to `target`.
bool isLinkTo(const std::filesystem::path& link, const std::filesystem::path& target);

/// Replaces `path` atomically with `text` (0644), creating its missing
/// folders (0700). Throws platform::SystemError.
void writeLaunchFile(const std::filesystem::path& path, std::string_view text);

/// Removes the file or link at `path`. Throws platform::SystemError.
void removeLaunchFile(const std::filesystem::path& path);

}  // namespace glimmet
