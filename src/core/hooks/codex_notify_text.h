// The Codex config.toml edits, as pure text operations: the file is changed
// line by line and everything else in it is kept byte for byte, because it is
// the user's own file and TOML comments and layout matter to them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace glimmet::codex_notify {

inline constexpr std::string_view kComment =
    "# Added by Glimmet: tells Glimmet when a Codex turn finishes. Remove it with glimmet hooks "
    "uninstall.";

/// The comment that earlier installs wrote; uninstall still removes it so that
/// an upgrade leaves no stray line behind.
inline constexpr std::string_view kEarlierComment =
    "# Added by Glimmet: tells Glimmet when a Codex turn finishes. Remove it in Glimmet > "
    "Settings > Alerts.";

/// `notify = ["PATH", "notify", "--agent", "codex"]`, with PATH's backslashes
/// doubled and its double quotes escaped.
std::string notifyLine(std::string_view executable);

/// The existing top-level `notify` line (trimmed), if any: keys after the first
/// table header belong to that table and don't count.
std::optional<std::string> topLevelNotify(std::string_view config);

/// Whether a trimmed notify line is one of ours: it runs some glimmet with
/// "notify", "--agent", "codex", wherever that glimmet lives.
bool isOwnNotifyLine(std::string_view line);

/// The glimmet that one of our notify lines runs, unquoted; nothing for a line
/// that isn't ours.
std::optional<std::string> ownProgram(std::string_view line);

/// The config with Glimmet's comment and notify line on top, or nothing when
/// another program's notify setting is there (which is never replaced). A
/// config that already has our line comes back with that line running
/// `executable` and every other byte kept.
std::optional<std::string> withNotify(std::string_view config, std::string_view executable);

/// The config without the comment line and notify line the installer added;
/// every other byte is kept.
std::string withoutNotify(std::string_view config);

}  // namespace glimmet::codex_notify
