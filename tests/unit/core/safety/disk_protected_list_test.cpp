// Protected places: each rule's reason, in order, over real paths for the link rules.
#include "core/safety/disk_protected_list.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace glimmet {
namespace {

TEST(DiskProtectedList, GivesEachProtectedPlaceItsReason) {
  const DiskProtectedList list("/home/me", {"~/Dev/keep", "/data/mine"}, {"/media/shared/Glimmet"},
                               {"/home/me/.local/share/Trash"});
  const auto reason = [&](const std::string& path) {
    return list.check(path, false, false).value_or("allowed");
  };
  EXPECT_EQ(reason("relative/x"), "Protected: not a folder Glimmet cleans");
  EXPECT_EQ(reason("/"), "Protected: not a folder Glimmet cleans");
  EXPECT_EQ(reason("/home/me/.local/share/Trash/files/x"),
            "Protected: not a folder Glimmet cleans");
  EXPECT_EQ(reason("/home/me"), "Protected: your home folder");
  EXPECT_EQ(reason("/home/me/"), "Protected: your home folder");
  EXPECT_EQ(reason("/home"), "Protected: your home folder");  // contains the home folder
  for (const char* system : {"/usr/lib", "/opt", "/etc/ssh", "/var/lib/docker", "/System/x"})
    EXPECT_EQ(reason(system), "Protected: a system folder") << system;
  for (const char* keys :
       {"/home/me/.ssh/old", "/home/me/.ssh", "/home/me/.config", "/home/me/.docker/config.json",
        "/home/me/.local/share/Glimmet/x", "/home/me/Library/Application Support/Glimmet/x",
        "/media/shared/Glimmet"})
    EXPECT_EQ(reason(keys), "Protected: holds keys or settings") << keys;
  EXPECT_EQ(reason("/home/me/Dev/keep/node_modules"), "Protected by you");
  EXPECT_EQ(reason("/home/me/Dev"), "Protected by you");  // contains a protected path
  EXPECT_EQ(reason("/data/mine"), "Protected by you");
  EXPECT_EQ(reason("/home/me/Dev/web/.git/objects"), "Protected: a git folder");
  EXPECT_EQ(reason("/home/me/Dev/web/.git"), "Protected: a git folder");
  EXPECT_EQ(reason("/home/me/Dev/web/.git/"), "Protected: a git folder");
  EXPECT_EQ(reason("/home/me/Dev/web/./x/../.git"), "Protected: a git folder");
  EXPECT_EQ(reason("/home/me/Dev/web/.github"), "allowed");
  EXPECT_EQ(reason("/home/me/Dev/web/x.git"), "allowed");
  EXPECT_EQ(reason("/home/me/Dev/web/node_modules"), "allowed");
  EXPECT_EQ(reason("/home/me/.sshkeys"), "allowed");  // a sibling, not inside
}

TEST(DiskProtectedList, AHomeBelowASystemFolderIsStillCleanable) {
  const DiskProtectedList list("/var/home/me", {});
  EXPECT_EQ(list.check("/var/home/me/Dev/web/.next", false, false), std::nullopt);
  EXPECT_EQ(list.check("/var/lib/x", false, false), "Protected: a system folder");
}

TEST(DiskProtectedList, RefusesLinksAndRepositoriesUnlessGitRemovesThem) {
  testing::TempDir dir;
  const auto home = dir.path().string();
  std::filesystem::create_directories(dir / "real/node_modules");
  std::filesystem::create_directory_symlink(dir / "real", dir / "linked");
  std::filesystem::create_directory_symlink(dir / "real/node_modules", dir / "nm-link");
  const DiskProtectedList list(home, {});
  EXPECT_EQ(list.check(home + "/linked/node_modules", false, false),
            "Protected: reached through a symlink");
  EXPECT_EQ(list.check(home + "/nm-link", false, false), "Protected: a symlink");
  EXPECT_EQ(list.check(home + "/real/node_modules", false, false), std::nullopt);
  EXPECT_EQ(list.check(home + "/real", true, false),
            "Holds a git repo. Glimmet only removes worktrees with git worktree remove.");
  EXPECT_EQ(list.check(home + "/real", true, true), std::nullopt);
}

// A scan's items share the folders on their way, looked at once per pass; a
// link is never remembered as a real folder, and cleaning, which checks
// without a pass, sees a folder swapped for a link since.
TEST(DiskProtectedList, OnePassLooksAtEachFolderOnTheWayOnceAndCleaningAfresh) {
  testing::TempDir dir;
  const auto home = dir.path().string();
  std::filesystem::create_directories(dir / "Dev/a/node_modules");
  std::filesystem::create_directories(dir / "Dev/b/node_modules");
  std::filesystem::create_directories(dir / "elsewhere/node_modules");
  std::filesystem::create_directory_symlink(dir / "elsewhere", dir / "Dev/c");
  const DiskProtectedList list(home, {});
  DiskProtectedList::RealFolders pass;
  EXPECT_EQ(list.check(home + "/Dev/a/node_modules", false, false, &pass), std::nullopt);
  EXPECT_EQ(list.check(home + "/Dev/b/node_modules", false, false, &pass), std::nullopt);
  EXPECT_EQ(list.check(home + "/Dev/c/node_modules", false, false, &pass),
            "Protected: reached through a symlink");
  EXPECT_EQ(list.check(home + "/Dev/c/node_modules", false, false, &pass),
            "Protected: reached through a symlink");
  EXPECT_EQ(pass,
            (DiskProtectedList::RealFolders{home + "/Dev", home + "/Dev/a", home + "/Dev/b"}));

  std::filesystem::rename(dir / "Dev/a", dir / "moved");
  std::filesystem::create_directory_symlink(dir / "moved", dir / "Dev/a");
  EXPECT_EQ(list.check(home + "/Dev/a/node_modules", false, false),
            "Protected: reached through a symlink");
}

}  // namespace
}  // namespace glimmet
