// The unit file and the autostart entry, written and recognised.
#include "logic/companion/companion_launch_files.h"

#include <algorithm>

#include "core/util/utf8.h"

namespace glimmet::companion_files {
namespace {

constexpr std::string_view kArguments = " companion run";

constexpr std::string_view kWrittenBy =
    "# Written by `glimmet companion install`. `glimmet companion uninstall` removes\n"
    "# it while it is exactly as written here; once you change it, it is yours.\n";

bool hasControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

bool isPlainAbsolutePath(std::string_view path) {
  return path.starts_with('/') && isWellFormedUtf8(path) && !hasControlCharacter(path);
}

// ExecStart= takes the program's path inside double quotes; of the characters
// systemd accepts there, only "%" (its specifiers) needs escaping. "$" is
// expanded in the arguments but never in the program's path.
std::string unitQuoted(std::string_view path) {
  std::string quoted = "\"";
  for (const char c : path) {
    quoted += c;
    if (c == '%') quoted += '%';
  }
  return quoted + "\"";
}

// The desktop entry's Exec= goes through layers that a launcher undoes in
// this order: the key file's string escapes (a backslash doubled), the field
// codes ("%", which autostartCanName keeps out), then shell-like quoting,
// where inside double quotes '"', '`', '$' and '\' take a backslash. So a
// backslash in the path becomes four, and a dollar sign "\\$".
std::string desktopQuoted(std::string_view path) {
  std::string quoted = "\"";
  for (const char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string escaped;
  for (const char c : quoted) {
    escaped += c;
    if (c == '\\') escaped += '\\';
  }
  return escaped;
}

// The value of the first line that starts with `key`, without its line feed.
std::optional<std::string_view> valueOf(std::string_view text, std::string_view key) {
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const auto line = text.substr(start, end - start);
    if (line.starts_with(key)) return line.substr(key.size());
    start = end + 1;
  }
  return std::nullopt;
}

// Undoes `quote` (one character per escape pair) and checks for our arguments
// after the closing quote. Lenient by design: whatever it makes of a foreign
// line, the file only counts as ours when writing that path gives it back.
std::optional<std::string> unquoted(std::string_view value, std::string_view escapes) {
  if (!value.starts_with('"')) return std::nullopt;
  std::string path;
  for (size_t i = 1; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '"') {
      if (value.substr(i + 1) != kArguments) return std::nullopt;
      return path;
    }
    if (escapes.find(c) != std::string_view::npos && i + 1 < value.size()) ++i;
    path += value[i];
  }
  return std::nullopt;
}

// One escape layer undone: each `mark` followed by any character keeps the
// character alone.
std::string unescaped(std::string_view text, char mark) {
  std::string plain;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == mark && i + 1 < text.size()) ++i;
    plain += text[i];
  }
  return plain;
}

}  // namespace

bool unitCanName(std::string_view executable) {
  return isPlainAbsolutePath(executable) &&
         executable.find_first_of("\"'\\") == std::string_view::npos;
}

bool autostartCanName(std::string_view executable) {
  return isPlainAbsolutePath(executable) && executable.find('%') == std::string_view::npos;
}

std::string unitFileText(std::string_view executable) {
  return std::string(kWrittenBy) +
         "[Unit]\n"
         "Description=Glimmet companion: records where processes came from, keeps the heartbeat, "
         "reaps ghosts\n"
         "\n"
         "[Service]\n"
         "Type=simple\n"
         "ExecStart=" +
         unitQuoted(executable) + std::string(kArguments) +
         "\n"
         "Restart=on-failure\n"
         "RestartSec=10\n"
         "# Status 3: another companion already runs, or a data file is missing;\n"
         "# starting again would only fail the same way.\n"
         "RestartPreventExitStatus=3\n"
         "Nice=10\n"
         "IOSchedulingClass=idle\n"
         "\n"
         "[Install]\n"
         "WantedBy=default.target\n";
}

std::string autostartEntryText(std::string_view executable) {
  return std::string(kWrittenBy) +
         "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Glimmet companion\n"
         "Comment=Records where processes came from, keeps the heartbeat, reaps ghosts\n"
         "Exec=" +
         desktopQuoted(executable) + std::string(kArguments) +
         "\n"
         "Terminal=false\n"
         "NoDisplay=true\n"
         "X-GNOME-Autostart-enabled=true\n";
}

std::optional<std::string> unitFileExecutable(std::string_view text) {
  const auto value = valueOf(text, "ExecStart=");
  if (!value) return std::nullopt;
  auto path = unquoted(*value, "%");
  if (!path || !unitCanName(*path) || unitFileText(*path) != text) return std::nullopt;
  return path;
}

std::optional<std::string> autostartEntryExecutable(std::string_view text) {
  const auto value = valueOf(text, "Exec=");
  if (!value) return std::nullopt;
  auto path = unquoted(unescaped(*value, '\\'), "\\");
  if (!path || !autostartCanName(*path) || autostartEntryText(*path) != text) return std::nullopt;
  return path;
}

namespace {

LaunchFileState stateOf(const LaunchFileContent& content,
                        std::optional<std::string> (*recognise)(std::string_view)) {
  if (content.kind == LaunchFileContent::Kind::absent) return LaunchFileState::absent();
  if (content.kind == LaunchFileContent::Kind::other) return LaunchFileState::foreign();
  auto executable = recognise(content.text);
  return executable ? LaunchFileState::ours(std::move(*executable)) : LaunchFileState::foreign();
}

}  // namespace

LaunchFileState unitFileState(const LaunchFileContent& content) {
  return stateOf(content, unitFileExecutable);
}

LaunchFileState autostartEntryState(const LaunchFileContent& content) {
  return stateOf(content, autostartEntryExecutable);
}

}  // namespace glimmet::companion_files
