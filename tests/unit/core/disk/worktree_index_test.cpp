// WorktreeIndex over git's own files, written by hand: what a linked worktree,
// a main repository's records, a gone folder and a stranger look like.
#include "core/disk/worktree_index.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace glimmet {
namespace {

// ~/repo with worktrees "feature" (relative links, as git writes with
// worktree.useRelativePaths) and "gone" (its folder deleted).
struct Layout {
  testing::TempDir dir;
  std::string repo = (dir / "repo").string();

  Layout() {
    dir.write("repo/.git/HEAD", "ref: refs/heads/main\n");
    dir.write("repo/.git/worktrees/feature/commondir", "../..\n");
    dir.write("repo/.git/worktrees/feature/gitdir", "../../../../trees/feature/.git\n");
    dir.write("trees/feature/.git", "gitdir: ../../repo/.git/worktrees/feature\n");
    dir.write("repo/.git/worktrees/gone/commondir", "../..\n");
    dir.write("repo/.git/worktrees/gone/gitdir", (dir / "trees/gone/.git").string() + "\n");
  }
  std::string at(const std::string& name) const { return (dir / name).string(); }
};

TEST(WorktreeIndex, TheMainRepositoryListsEveryWorktreeOnce) {
  const Layout layout;
  // Met both on the walk and through the repository: listed once.
  const auto entries = WorktreeIndex::build({layout.repo, layout.at("trees/feature")});
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0],
            (WorktreeIndex::Entry{layout.at("trees/feature"), layout.repo,
                                  layout.at("repo/.git/worktrees/feature"), true, true}));
  EXPECT_EQ(entries[1],
            (WorktreeIndex::Entry{layout.at("trees/gone"), layout.repo,
                                  layout.at("repo/.git/worktrees/gone"), false, false}));
}

TEST(WorktreeIndex, AWorktreeLeadsToItsRepositoryAndItsSiblings) {
  const Layout layout;
  const auto entries = WorktreeIndex::build({layout.at("trees/feature")});
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].mainRepoPath, layout.repo);
  EXPECT_EQ(entries[1].path, layout.at("trees/gone"));
}

TEST(WorktreeIndex, AFolderThatIsNoLongerTheWorktreeIsNotLinked) {
  const Layout layout;
  // The record's folder exists, but its .git names another worktree.
  layout.dir.write("trees/gone/.git", "gitdir: " + layout.at("repo/.git/worktrees/feature") + "\n");
  const auto entries = WorktreeIndex::build({layout.repo});
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(entries[1].exists);
  EXPECT_FALSE(entries[1].linked);
}

TEST(WorktreeIndex, BrokenRecordsAndPlainFoldersGiveNothing) {
  testing::TempDir dir;
  dir.write("plain/file", "x");
  dir.write("repo/.git/worktrees/empty/gitdir", "\n");
  dir.write("repo/.git/worktrees/binary/gitdir", std::string("\0\xff\n", 3));
  dir.write("repo/.git/worktrees/notgit/gitdir", (dir / "somewhere/file").string());
  dir.write("dangling/.git", "gitdir: " + (dir / "nowhere").string() + "\n");
  dir.write("garbage/.git", std::string(100000, 'g'));
  const auto entries = WorktreeIndex::build({(dir / "plain").string(), (dir / "repo").string(),
                                             (dir / "dangling").string(),
                                             (dir / "garbage").string(), (dir / "none").string()});
  EXPECT_TRUE(entries.empty());
}

}  // namespace
}  // namespace glimmet
