#include "core/git/git_files.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace glimmet::git {
namespace {

TEST(GitFiles, GitDirLineIsTheFirstLineThatNamesOne) {
  EXPECT_EQ(gitDirLine("gitdir: /r/.git/worktrees/a\n"), "/r/.git/worktrees/a");
  EXPECT_EQ(gitDirLine("junk\ngitdir:  rel/path \r\n"), "rel/path");
  EXPECT_EQ(gitDirLine("gitdir:\n"), "");
  EXPECT_EQ(gitDirLine("nothing here"), std::nullopt);
  EXPECT_EQ(gitDirLine(""), std::nullopt);
}

TEST(GitFiles, RelativeLinksResolveFromTheirOwnFolder) {
  EXPECT_EQ(resolvedFrom("/a/b", "../c/"), "/a/c");
  EXPECT_EQ(resolvedFrom("/a/b", "/x/./y"), "/x/y");
}

TEST(GitFiles, MainRepositoryComesFromCommondir) {
  testing::TempDir dir;
  dir.write("repo/.git/worktrees/a/commondir", "../..\n");
  dir.write("bare.git/worktrees/b/commondir", (dir / "bare.git").string() + "\n");
  dir.write("empty/commondir", " \n");
  EXPECT_EQ(mainRepoOf(dir / "repo/.git/worktrees/a"), dir / "repo");
  EXPECT_EQ(mainRepoOf(dir / "bare.git/worktrees/b"), dir / "bare.git");
  EXPECT_EQ(mainRepoOf(dir / "empty"), std::nullopt);
  EXPECT_EQ(mainRepoOf(dir / "missing"), std::nullopt);
}

TEST(GitFiles, OnlyAGitFileLinksToAnAdminFolder) {
  testing::TempDir dir;
  dir.write("wt/.git", "gitdir: ../repo/.git/worktrees/wt\n");
  dir.write("repo/.git/HEAD", "ref: refs/heads/main\n");
  dir.write("huge/.git", std::string(1 << 20, 'x'));
  EXPECT_EQ(linkedAdminFolder(dir / "wt/.git"), dir / "repo/.git/worktrees/wt");
  EXPECT_EQ(linkedAdminFolder(dir / "repo/.git"), std::nullopt);  // a folder
  EXPECT_EQ(linkedAdminFolder(dir / "huge/.git"), std::nullopt);
}

}  // namespace
}  // namespace glimmet::git
