// Desktop entry files (the freedesktop.org keyfiles that describe installed
// applications): the few keys of the [Desktop Entry] group the listing needs.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace glimmet {

struct DesktopEntry {
  std::string type;                 ///< "Application", "Link", "Directory"
  std::optional<std::string> name;  ///< Name= without a locale, so output is stable
  std::optional<std::string> exec;
  std::optional<std::string> startupWMClass;
  bool hidden = false;
  bool noDisplay = false;

  /// Whether a menu would show it as an application.
  bool isListedApplication() const { return type == "Application" && !hidden && !noDisplay; }
};

/// Parses the [Desktop Entry] group; lines of other groups, comments, localized
/// keys and malformed lines are ignored. Nothing when the group is absent.
std::optional<DesktopEntry> parseDesktopEntry(std::string_view text);

/// The desktop-file id: the path below the applications folder with "/" turned into
/// "-" and without ".desktop" (applications/kde/okular.desktop is "kde-okular").
std::string desktopFileID(const std::filesystem::path& relativePath);

/// The program an Exec= line runs: its first word, unquoted, after any "env" and
/// VAR=value words. Empty when there is none.
std::string execProgram(std::string_view exec);

}  // namespace glimmet
