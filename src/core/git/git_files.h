// Reading the small files git keeps beside a repository: the `.git` link of a
// linked worktree, `commondir`, `gitdir` and HEAD. No git process is run, so
// a working folder's repository can be told on every refresh and in every scan.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace glimmet::git {

/// A file git keeps small, read whole; `text` is empty when it exists but can't
/// be read (or is far larger than git ever writes it).
struct GitFile {
  bool present = false;
  std::optional<std::string> text;
};

GitFile readGitFile(const std::filesystem::path& path);

/// The path named by the first line that begins with "gitdir:", trimmed.
std::optional<std::string> gitDirLine(const std::string& text);

/// `path` taken relative to `base` when it isn't absolute, lexically normal.
std::filesystem::path resolvedFrom(const std::filesystem::path& base, const std::string& path);

/// The folder a linked worktree's `.git` file points at (its administrative
/// folder), when `dotGit` is such a file.
std::optional<std::filesystem::path> linkedAdminFolder(const std::filesystem::path& dotGit);

/// The main repository's working folder for an administrative folder, from its
/// `commondir` (a bare repository's folder when the common folder isn't `.git`).
std::optional<std::filesystem::path> mainRepoOf(const std::filesystem::path& adminFolder);

}  // namespace glimmet::git
