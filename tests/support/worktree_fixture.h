// A repository fixture in an isolated home: ~/code/shop checked out on "main",
// with a linked worktree of it at ~/trees/shop-login on "feature/login".
#pragma once

#include "support/isolated_home.h"

namespace glimmet::testing {

inline void writeRepositoryWithWorktree(const IsolatedHome& home) {
  const auto main = home.home() / "code/shop";
  home.dir().write("home/code/shop/.git/HEAD", "ref: refs/heads/main\n");
  home.dir().write("home/code/shop/.git/worktrees/shop-login/HEAD",
                   "ref: refs/heads/feature/login\n");
  home.dir().write("home/code/shop/.git/worktrees/shop-login/commondir", "../..\n");
  home.dir().write("home/trees/shop-login/.git",
                   "gitdir: " + (main / ".git/worktrees/shop-login").string() + "\n");
}

}  // namespace glimmet::testing
