// Careful reads and writes of an agent's own configuration file. The file belongs
// to the user and to the agent, so Glimmet refuses anything unusual (a link, a
// read-only or oversized file) rather than guess, and never overwrites an edit
// that landed between its read and its write.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace glimmet::hooks {

/// Agent configuration files are small; anything larger is not one we should edit.
inline constexpr size_t kMaxConfigBytes = 4 * 1024 * 1024;

/// The ".json" record written beside a backup: whether there was a file before the
/// install, and the digest of the file exactly as the installer left it.
struct ChangeRecord {
  bool originalExisted = false;
  std::string installedSHA256;

  static std::optional<ChangeRecord> fromJson(const nlohmann::json& json);
  nlohmann::json toJson() const;
};

/// A configuration file as read: absent, or its bytes and permission bits.
struct ConfigSnapshot {
  bool exists = false;
  std::string bytes;
  mode_t mode = 0600;  ///< kept on rewrite; new files hold settings, so they start private
};

/// Edits one file, named for the user as `label` ("Claude Code settings file").
/// Every refusal is a CommandFailure whose message names the file and leaves it
/// untouched.
class AgentConfigFile {
 public:
  AgentConfigFile(std::filesystem::path path, std::string label)
      : path_(std::move(path)), label_(std::move(label)) {}

  const std::filesystem::path& path() const { return path_; }

  /// The file now. Refuses a symbolic link, anything but a regular file, a file
  /// without write permission, one larger than kMaxConfigBytes or unreadable.
  ConfigSnapshot read() const;

  /// Replaces the file atomically with `bytes`, after checking it still is what
  /// `before` saw: a concurrent edit by the user or the agent wins over ours.
  void replace(const ConfigSnapshot& before, std::string_view bytes) const;

  /// Removes the file, with the same check as replace.
  void remove(const ConfigSnapshot& before) const;

  /// Refusal with "Your <label> <reason>".
  [[noreturn]] void refuse(std::string_view reason) const;

 private:
  void checkUnchanged(const ConfigSnapshot& before) const;

  std::filesystem::path path_;
  std::string label_;
};

/// `path` with `suffix` appended to its file name ("settings.json" + ".glimmet-backup").
std::filesystem::path besideWithSuffix(const std::filesystem::path& path, std::string_view suffix);

/// The backup copy and change record for one kind of install, beside the file.
class ChangeBackup {
 public:
  ChangeBackup(const std::filesystem::path& config, std::string_view suffix)
      : copy_(besideWithSuffix(config, suffix)),
        record_(besideWithSuffix(config, std::string(suffix) + ".json")) {}

  const std::filesystem::path& copyPath() const { return copy_; }
  const std::filesystem::path& recordPath() const { return record_; }

  /// Writes the copy of `before` (when it existed) and the record of `installed`.
  void save(const ConfigSnapshot& before, std::string_view installed) const;

  /// The bytes to put back when the file is still exactly as installed: nothing
  /// inside means "remove the file" (there was none before). No value at all when
  /// the file changed since, or the record or copy is missing or unreadable.
  std::optional<std::optional<std::string>> restorable(const ConfigSnapshot& now) const;

  /// What the file held before the install, whatever it holds now: nothing inside
  /// means there was no file. No value when the record or copy is missing.
  std::optional<std::optional<std::string>> original() const;

  /// After the installer itself rewrote a file that was still exactly as
  /// installed (`before`), records `installed` as the new state to recognise,
  /// so an uninstall still puts the original back. Nothing otherwise.
  void followRewrite(const ConfigSnapshot& before, std::string_view installed) const;

  /// Removes the copy and the record once an uninstall used them up.
  void discard() const;

  /// Puts `file` back as it was before the install when it is still exactly as
  /// installed, and then discards the backup. False (and nothing done) otherwise.
  bool restoreUntouched(const AgentConfigFile& file, const ConfigSnapshot& now) const;

 private:
  std::filesystem::path copy_;
  std::filesystem::path record_;
};

/// The outcome of an install: the path in an existing hook may change.
enum class InstallOutcome { installed, alreadyInstalled, updated };

/// The outcome of an uninstall.
enum class UninstallOutcome { restoredOriginal, removedEntryOnly, notInstalled };

}  // namespace glimmet::hooks
