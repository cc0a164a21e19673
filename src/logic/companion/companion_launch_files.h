// The two files that start the companion at login: a systemd user unit, and
// the XDG autostart entry used where no user manager runs. Each names glimmet
// by its absolute path, quoted by its own format's rules, and each is
// recognised as ours only when it is byte for byte what we would write for the
// glimmet it names, so an uninstall never takes away a file someone changed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/companion/login_start.h"

namespace glimmet {

/// What is at one of the places install writes to.
struct LaunchFileState {
  enum class Kind { absent, ours, foreign };
  Kind kind = Kind::absent;
  std::string executable;  ///< the glimmet it runs, when ours

  static LaunchFileState absent() { return {}; }
  static LaunchFileState ours(std::string executable) {
    return {Kind::ours, std::move(executable)};
  }
  static LaunchFileState foreign() { return {Kind::foreign, {}}; }
};

}  // namespace glimmet

namespace glimmet::companion_files {

/// Whether the unit can name `executable`: an absolute path in UTF-8 without
/// control characters (a line break would end the line early), quotes or
/// backslashes, which systemd refuses in a program's path however escaped.
bool unitCanName(std::string_view executable);
/// Whether the autostart entry can: an absolute path in UTF-8 without control
/// characters or "%". The format escapes "%" as "%%", but GLib's launchers
/// look for the program before undoing that, and then don't find it.
bool autostartCanName(std::string_view executable);

/// The unit that runs `executable companion run`, restarting it when it fails.
std::string unitFileText(std::string_view executable);
/// The autostart entry that runs `executable companion run` at a desktop login.
std::string autostartEntryText(std::string_view executable);

/// The glimmet that `text` runs when it is exactly unitFileText of it; nothing
/// for a file changed since, or never written by us.
std::optional<std::string> unitFileExecutable(std::string_view text);
/// The same for autostartEntryText.
std::optional<std::string> autostartEntryExecutable(std::string_view text);

/// The state of the unit's place, from what was read there.
LaunchFileState unitFileState(const LaunchFileContent& content);
/// The state of the autostart entry's place.
LaunchFileState autostartEntryState(const LaunchFileContent& content);

}  // namespace glimmet::companion_files
