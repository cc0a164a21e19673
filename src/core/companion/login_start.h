// How the companion is started at login: the names of its files (the unit's
// is also the name systemctl knows it by), what was found at their places,
// and whether a systemd user manager is there to run the unit.
#pragma once

#include <string>
#include <string_view>

namespace glimmet {

namespace companion_files {
inline constexpr std::string_view unitName = "glimmet-companion.service";
inline constexpr std::string_view autostartName = "glimmet-companion.desktop";
}  // namespace companion_files

/// What is at a launch file's place, as read.
struct LaunchFileContent {
  enum class Kind {
    absent,
    text,   ///< a regular file small enough to be ours
    other,  ///< a link (a dotfiles setup, say), a folder, a file too large or unreadable
  };
  Kind kind = Kind::absent;
  std::string text;
};

/// Whether systemd's user manager can be asked to run the unit.
enum class UserManagerReach {
  reachable,
  noSystemctl,
  unreachable,  ///< systemctl is there, but no manager answers it (a container, SSH)
};

}  // namespace glimmet
