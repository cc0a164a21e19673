// Places the tool never cleans, whatever a rule or the user asks: system
// folders, the home folder, keys and settings, the user's protected paths, git
// folders and anything reached through a link. Checked when a scan lists an
// item and again when cleaning plans it.
#pragma once

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace glimmet {

class DiskProtectedList {
 public:
  /// `settingsFolders` are extra folders that hold the tool's own or other keys
  /// (the real shared folder wherever it lives); `trashRoots` are the Trash
  /// folders, never cleaned from. `protectedPaths` may start with "~/".
  DiskProtectedList(std::string home, std::vector<std::string> protectedPaths,
                    std::vector<std::string> settingsFolders = {},
                    std::vector<std::string> trashRoots = {});

  /// Folders on the way to items that earlier checks of the same pass found not
  /// to be links. A scan checks hundreds of items below the same few folders
  /// moments apart, and looks at each of those once; cleaning checks every
  /// item afresh, without one.
  using RealFolders = std::unordered_set<std::string>;

  /// The protection reason for `path`, or nothing. `containsGit`: the item's
  /// measurement met a .git; `worktreeAction`: the action removes a worktree with git.
  std::optional<std::string> check(const std::string& path, bool containsGit, bool worktreeAction,
                                   RealFolders* seen = nullptr) const;

 private:
  std::string home_;
  std::vector<std::string> userPaths_;
  std::vector<std::string> keyPaths_;
  std::vector<std::string> trashRoots_;
};

}  // namespace glimmet
