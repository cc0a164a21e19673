// How a leftover is cleaned: the owning tool's own command, the Trash, git for
// worktrees, a line to copy, or nothing. Shared by the rule file and the scan
// cache, so it decodes strictly and encodes every key it holds.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace glimmet {

struct CleanAction {
  enum class Kind { toolCommand, trash, gitWorktreeRemove, gitWorktreePrune, copyOnly, none };

  Kind kind = Kind::none;
  std::optional<std::vector<std::string>> argv;       ///< run without a shell
  std::optional<std::vector<std::string>> stopFirst;  ///< stops a daemon before argv runs
  std::optional<std::string> note;
  std::optional<bool> terminalOnly;  ///< the command asks its own questions

  /// Nothing when a required key is missing or a value has the wrong type.
  static std::optional<CleanAction> fromJson(const nlohmann::json& json);
  nlohmann::json toJson() const;

  /// git removes the worktree or prunes its records, rather than a tool or the Trash.
  bool isGitWorktree() const {
    return kind == Kind::gitWorktreeRemove || kind == Kind::gitWorktreePrune;
  }

  bool operator==(const CleanAction&) const = default;
};

std::string_view rawValue(CleanAction::Kind kind);
std::optional<CleanAction::Kind> cleanKindFromRaw(std::string_view raw);

}  // namespace glimmet
