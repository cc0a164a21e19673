// Opening an item's folder without following links, by openat2 and by the
// component walk alike: links below the home folder refused, the home folder's
// own path allowed through one, and the item checked against its identity.
#include "platform/link_free_open.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace glimmet::platform {
namespace {

namespace fs = std::filesystem;

FileIdentity identityOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

class LinkFreeOpen : public ::testing::TestWithParam<LinkFreeResolver> {
 protected:
  testing::TempDir dir;
  fs::path home = dir / "home";
};

TEST_P(LinkFreeOpen, OpensRealFoldersAndRefusesALinkBelowTheHomeFolder) {
  dir.write("home/proj/cache/x", "1");
  dir.write("outside/cache/x", "2");
  EXPECT_TRUE(openFolderWithoutLinks(home / "proj/cache", home, GetParam()));
  EXPECT_TRUE(openFolderWithoutLinks(home / "proj/cache", "", GetParam()));
  EXPECT_TRUE(openFolderWithoutLinks(home, home, GetParam()));

  fs::create_directory_symlink(dir / "outside", home / "linked");
  for (const auto& root : {home, fs::path()}) {
    const auto opened = openFolderWithoutLinks(home / "linked/cache", root, GetParam());
    EXPECT_FALSE(opened);
    EXPECT_EQ(opened.change, ItemChange::linkOnTheWay);
  }
  // The last component counts as much as any other.
  EXPECT_EQ(openFolderWithoutLinks(home / "linked", home, GetParam()).change,
            ItemChange::linkOnTheWay);

  EXPECT_EQ(openFolderWithoutLinks(home / "nowhere/deeper", home, GetParam()).change,
            ItemChange::gone);
  EXPECT_EQ(openFolderWithoutLinks(home / "proj/cache/x", home, GetParam()).error, ENOTDIR);
  EXPECT_EQ(openFolderWithoutLinks("relative/path", home, GetParam()).error, EINVAL);
}

TEST_P(LinkFreeOpen, TheHomeFolderItselfMayBeReachedThroughALink) {
  // As on systems where /home -> /var/home: only what lies below it must be real.
  dir.write("var/home/me/proj/x", "1");
  fs::create_directory_symlink(dir / "var/home", dir / "home");
  const auto me = dir / "home/me";
  EXPECT_TRUE(openFolderWithoutLinks(me / "proj", me, GetParam()));
  EXPECT_EQ(openFolderWithoutLinks(me / "proj", dir / "elsewhere", GetParam()).change,
            ItemChange::linkOnTheWay);
  // A spelling that merely starts like the home folder is not inside it.
  fs::create_directory_symlink(dir / "var/home/me", dir / "home/me2");
  EXPECT_EQ(openFolderWithoutLinks(dir / "home/me2/proj", me, GetParam()).change,
            ItemChange::linkOnTheWay);
}

TEST_P(LinkFreeOpen, HoldsOnlyTheItemTheScanMeasured) {
  const auto cache = dir.write("home/proj/cache/x", "1").parent_path();
  const auto identity = identityOf(cache);
  auto held = holdItem(cache, home, identity, GetParam());
  ASSERT_TRUE(std::holds_alternative<HeldItem>(held));
  EXPECT_EQ(std::get<HeldItem>(held).name, "cache");
  EXPECT_EQ(std::get<HeldItem>(held).identity().inode, identity.inode);

  fs::rename(cache, dir / "kept");
  dir.write("home/proj/cache/y", "new");
  held = holdItem(cache, home, identity, GetParam());
  ASSERT_TRUE(std::holds_alternative<ItemNotHeld>(held));
  EXPECT_EQ(std::get<ItemNotHeld>(held).change, ItemChange::otherItem);

  fs::remove_all(cache);
  fs::create_directory_symlink(dir / "kept", cache);
  EXPECT_EQ(std::get<ItemNotHeld>(holdItem(cache, home, identity, GetParam())).change,
            ItemChange::isLink);
  fs::remove(cache);
  EXPECT_EQ(std::get<ItemNotHeld>(holdItem(cache, home, identity, GetParam())).change,
            ItemChange::gone);
  // Without an identity whatever is there is held, a link included.
  fs::create_directory_symlink(dir / "kept", cache);
  EXPECT_TRUE(std::holds_alternative<HeldItem>(holdItem(cache, home, std::nullopt, GetParam())));
}

INSTANTIATE_TEST_SUITE_P(BothResolvers, LinkFreeOpen,
                         ::testing::Values(LinkFreeResolver::automatic,
                                           LinkFreeResolver::componentWalk),
                         [](const auto& param) {
                           return param.param == LinkFreeResolver::automatic ? "openat2"
                                                                             : "componentWalk";
                         });

}  // namespace
}  // namespace glimmet::platform
