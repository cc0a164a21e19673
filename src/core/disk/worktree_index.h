// The linked git worktrees under a set of folders, read from git's own files:
// a worktree's `.git` file names its administrative folder, whose `commondir`
// leads to the main repository, and the main repository's
// `.git/worktrees/*/gitdir` files list every worktree it knows, including ones
// whose folders are gone.
#pragma once

#include <string>
#include <vector>

namespace glimmet {

class WorktreeIndex {
 public:
  struct Entry {
    std::string path;          ///< the worktree folder
    std::string mainRepoPath;  ///< the main repository's working folder
    std::string adminPath;     ///< .git/worktrees/<name> in the main repository
    bool exists = false;       ///< the worktree folder is still there
    /// The folder's `.git` file points back at `adminPath`. A record whose
    /// folder exists but is no longer that worktree is never cleaned.
    bool linked = false;

    bool operator==(const Entry&) const = default;
  };

  /// `folders`: repositories and worktrees (folders holding `.git`) in any
  /// order; each worktree appears once, in path order.
  static std::vector<Entry> build(const std::vector<std::string>& folders);
};

}  // namespace glimmet
