// settings.json as `glimmet settings` reads and edits it. Every command reads
// the file through GlimmetSettings::load, where a missing and a corrupt file
// are alike; an edit must tell them apart, because a corrupt file holds the
// person's own words and is never overwritten without their say.
#pragma once

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>

namespace glimmet {

/// The file as read.
struct SettingsFileRead {
  enum class Kind {
    missing,   ///< no file (or no shared folder)
    unusable,  ///< something is there that can't be read as ours: a link, a folder, a
               ///< FIFO, another user's file, or a file over kMaxStoredFileBytes
    notJson,   ///< a file whose text isn't JSON
    json,      ///< parsed; it may still not be a valid settings record
  };
  Kind kind = Kind::missing;
  nlohmann::json json;  ///< for Kind::json
};

/// settings.json in the shared folder at `folder`, read once without a lock.
SettingsFileRead readSettingsFile(const std::filesystem::path& folder);

/// What an edit decided to write.
struct SettingsFileWrite {
  nlohmann::json contents;
  /// Move the file there now to settings.json.unreadable first, so that
  /// replacing a corrupt file loses nothing.
  bool keepOldAside = false;
};

/// The name a replaced corrupt settings file is kept under, beside it.
inline constexpr std::string_view kReplacedSettingsFile = "settings.json.unreadable";

/// Reads settings.json while holding settings.json.lock, hands it to `decide`,
/// and writes what that returns before the lock is let go, so two edits at once
/// both land. The file is replaced atomically (pretty printed, keys sorted,
/// slashes escaped, as the application writes it). Nothing returned means
/// nothing is written; then a missing shared folder isn't created either.
/// `decide` may run twice (once before the folder exists) and throws to refuse.
/// Throws platform::LockTimeout when the lock stays held, platform::SystemError
/// when the folder or a file can't be used.
void editSettingsFile(
    const std::filesystem::path& folder,
    const std::function<std::optional<SettingsFileWrite>(const SettingsFileRead&)>& decide);

}  // namespace glimmet
