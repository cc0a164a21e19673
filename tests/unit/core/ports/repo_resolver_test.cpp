#include "core/ports/repo_resolver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_dir.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
const auto kNow = std::chrono::system_clock::time_point(std::chrono::seconds(1'000'000));

// A repository laid out as git lays it out: the main checkout, a linked worktree
// elsewhere, and a submodule.
struct Fixture {
  testing::TempDir dir;
  fs::path main = dir.path() / "code/shop";
  fs::path worktree = dir.path() / "trees/shop-feature";

  Fixture() {
    dir.write("code/shop/.git/HEAD", "ref: refs/heads/main\n");
    dir.write("code/shop/src/app/.keep", "");
    dir.write("code/shop/.git/worktrees/shop-feature/HEAD", "ref: refs/heads/feature/login\n");
    dir.write("code/shop/.git/worktrees/shop-feature/commondir", "../..\n");
    dir.write("trees/shop-feature/.git",
              "gitdir: " + (main / ".git/worktrees/shop-feature").string() + "\n");
    dir.write("code/shop/.git/modules/ui/HEAD", "4f9c2d1e8b7a6c5d4e3f2a1b0c9d8e7f6a5b4c3d\n");
    dir.write("code/shop/vendor/ui/.git", "gitdir: ../../.git/modules/ui\n");
  }
  RepoResolver resolver(bool mayRead = true, std::vector<fs::path> roots = {}) const {
    return RepoResolver(dir.path(), mayRead, std::move(roots));
  }
};

TEST(RepoResolver, FindsTheRepositoryAndBranchFromAnyFolderInside) {
  Fixture fixture;
  auto resolver = fixture.resolver();
  const auto status = resolver.resolve((fixture.main / "src/app/../app/").string(), kNow);
  ASSERT_EQ(status.kind, RepoStatus::Kind::repo);
  EXPECT_EQ(status.info->repoName, "shop");
  EXPECT_EQ(status.info->mainRepoPath, fixture.main.string());
  EXPECT_EQ(status.info->branch, "main");
  EXPECT_FALSE(status.info->worktreeName);
}

TEST(RepoResolver, ALinkedWorktreeNamesItselfItsBranchAndItsMainRepository) {
  Fixture fixture;
  auto resolver = fixture.resolver();
  const auto status = resolver.resolve(fixture.worktree.string(), kNow);
  ASSERT_EQ(status.kind, RepoStatus::Kind::repo);
  EXPECT_EQ(status.info->worktreeName, "shop-feature");
  EXPECT_EQ(status.info->branch, "feature/login");
  EXPECT_EQ(status.info->repoName, "shop");
  EXPECT_EQ(status.info->mainRepoPath, fixture.main.string());
  EXPECT_EQ(status.info->workTreePath, fixture.worktree.string());
}

TEST(RepoResolver, ASubmoduleIsItsOwnRepositoryOnADetachedHead) {
  Fixture fixture;
  auto resolver = fixture.resolver();
  const auto status = resolver.resolve((fixture.main / "vendor/ui").string(), kNow);
  ASSERT_EQ(status.kind, RepoStatus::Kind::repo);
  EXPECT_EQ(status.info->repoName, "ui");
  EXPECT_EQ(status.info->detachedSHA, "4f9c2d1");
  EXPECT_FALSE(status.info->branch);
  EXPECT_EQ(status.info->headText(), "4f9c2d1");
}

TEST(RepoResolver, BrokenRepositoriesShowNoBranchAndNeverFail) {
  Fixture fixture;
  fixture.dir.write("broken/a/.git/HEAD", "ref: refs/tags/v1\n");
  fixture.dir.write("broken/b/.git", "not a gitdir line\n");
  fixture.dir.write("broken/c/.git", "gitdir: /nowhere/at/all\n");
  fs::create_directories(fixture.dir.path() / "broken/d/.git");
  fs::create_directories(fixture.dir.path() / "plain");
  auto resolver = fixture.resolver();
  const auto at = [&](const char* folder) {
    return resolver.resolve((fixture.dir.path() / folder).string(), kNow);
  };
  EXPECT_EQ(at("broken/a").kind, RepoStatus::Kind::repo);
  EXPECT_EQ(at("broken/a").info->headText(), std::nullopt) << "a tag is neither";
  EXPECT_EQ(at("broken/b").kind, RepoStatus::Kind::noRepo);
  EXPECT_EQ(at("broken/c").kind, RepoStatus::Kind::repo) << "missing worktree target";
  EXPECT_EQ(at("broken/c").info->headText(), std::nullopt);
  EXPECT_EQ(at("broken/d").info->headText(), std::nullopt) << "no HEAD at all";
  EXPECT_EQ(at("plain").kind, RepoStatus::Kind::noRepo);
  // A FIFO planted as HEAD is refused without waiting for a writer.
  fixture.dir.write("broken/e/.git/config", "");
  ASSERT_EQ(::mkfifo((fixture.dir.path() / "broken/e/.git/HEAD").c_str(), 0600), 0);
  EXPECT_EQ(at("broken/e").kind, RepoStatus::Kind::accessDenied);
}

TEST(RepoResolver, ConsentFoldersAreNotReadUntilAllowed) {
  Fixture fixture;
  fixture.dir.write("Documents/site/.git/HEAD", "ref: refs/heads/main\n");
  const auto documents = fixture.dir.path() / "Documents";
  auto guarded = fixture.resolver(false, {documents});
  EXPECT_EQ(guarded.resolve("~/Documents/site", kNow).kind, RepoStatus::Kind::needsConsent);
  EXPECT_EQ(guarded.resolve((fixture.dir.path() / "Documents-old").string(), kNow).kind,
            RepoStatus::Kind::noRepo)
      << "a sibling that only shares the prefix is not inside";
  auto allowed = fixture.resolver(true, {documents});
  EXPECT_EQ(allowed.resolve("~/Documents/site", kNow).info->branch, "main");
}

TEST(RepoResolver, CachesForTenSecondsUnlessHeadChanges) {
  Fixture fixture;
  auto resolver = fixture.resolver();
  const auto path = fixture.main.string();
  const auto head = fixture.main / ".git/HEAD";
  EXPECT_EQ(resolver.resolve(path, kNow).info->branch, "main");
  const auto recorded = fs::last_write_time(head);
  fixture.dir.write("code/shop/.git/HEAD", "ref: refs/heads/next\n");
  fs::last_write_time(head, recorded);
  EXPECT_EQ(resolver.resolve(path, kNow + std::chrono::seconds(9)).info->branch, "main")
      << "same HEAD time within ten seconds: cached";
  EXPECT_EQ(resolver.resolve(path, kNow + std::chrono::seconds(10)).info->branch, "next");
  fixture.dir.write("code/shop/.git/HEAD", "ref: refs/heads/other\n");
  fs::last_write_time(head, recorded + std::chrono::seconds(3));
  EXPECT_EQ(resolver.resolve(path, kNow + std::chrono::seconds(11)).info->branch, "other")
      << "a checkout changes HEAD's time: read again at once";
}

TEST(StandardizedPath, ExpandsTildeAndDropsDotsAndTrailingSlashes) {
  EXPECT_EQ(standardizedPath("~/a/./b/../c/", "/home/me"), "/home/me/a/c");
  EXPECT_EQ(standardizedPath("/", "/home/me"), "/");
  EXPECT_EQ(standardizedPath("~", "/home/me"), "/home/me");
  EXPECT_EQ(standardizedPath("~other/x", "/home/me"), "~other/x");
}

}  // namespace
}  // namespace glimmet
