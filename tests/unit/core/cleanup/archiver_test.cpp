// The archiver over real trees: where copies land, links copied as links,
// what a copy keeps, and the failures that leave the original alone.
#include "core/cleanup/archiver.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// An item as the scan records it: with the identity of what is there now.
DiskItem itemAt(const fs::path& path) {
  DiskItem item;
  item.path = path.string();
  item.ruleID = "claude-chats";
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0)
    item.identity =
        FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
  return item;
}

TEST(Archiver, CopiesLandBelowTheFolderByTheirPathFromHome) {
  EXPECT_EQ(Archiver::target("/home/me/.claude/projects/-home-me-web", "/home/me", "/arch"),
            "/arch/claude/projects/-home-me-web");
  EXPECT_EQ(Archiver::target("/home/me/.codex/sessions/2025/11/", "/home/me", "/arch"),
            "/arch/codex/sessions/2025/11");
  EXPECT_EQ(Archiver::target("/srv/claude/projects/x", "/home/me", "/arch"),
            "/arch/srv/claude/projects/x");
}

TEST(Archiver, CopiesTheTreeAsItIsWithoutFollowingLinks) {
  testing::TempDir dir;
  const auto home = dir / "home";
  const auto chats = home / ".claude/projects/-web";
  dir.write("home/.claude/projects/-web/a.jsonl", "{\"chat\": 1}\n");
  dir.write("home/.claude/projects/-web/sub/deeper/b.jsonl", std::string(3 << 20, 'b'));
  dir.write("secret/key", "do not copy");
  fs::create_directory_symlink(dir / "secret", chats / "outside");
  ::chmod((chats / "a.jsonl").c_str(), 0640);
  const timespec old[2] = {{1'600'000'000, 0}, {1'600'000'000, 0}};
  ::utimensat(AT_FDCWD, (chats / "sub").c_str(), old, 0);
  fs::create_directories(dir / "archive");

  const auto copy = Archiver().archive(itemAt(chats), home.string(), dir / "archive");
  EXPECT_EQ(copy, dir / "archive/claude/projects/-web");
  EXPECT_EQ(dir.read("archive/claude/projects/-web/a.jsonl"), "{\"chat\": 1}\n");
  EXPECT_EQ(dir.read("archive/claude/projects/-web/sub/deeper/b.jsonl"), std::string(3 << 20, 'b'));
  EXPECT_TRUE(fs::is_symlink(copy / "outside"));
  EXPECT_EQ(fs::read_symlink(copy / "outside"), dir / "secret");
  struct stat info {};
  ASSERT_EQ(::stat((copy / "a.jsonl").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  ASSERT_EQ(::stat((copy / "sub").c_str(), &info), 0);
  EXPECT_EQ(info.st_mtim.tv_sec, 1'600'000'000);
  EXPECT_TRUE(fs::exists(chats / "a.jsonl"));  // the archiver never moves the original

  // A second archive of the same chats finds the first one there.
  try {
    Archiver().archive(itemAt(chats), home.string(), dir / "archive");
    FAIL() << "archived twice";
  } catch (const ArchiveError& error) {
    EXPECT_EQ(std::string(error.what()), copy.string() + " already exists");
  }
}

TEST(Archiver, AnEntryThatCantBeCopiedLeavesThePartialCopyAndSaysWhere) {
  testing::TempDir dir;
  const auto chats = dir / "home/.gemini/tmp/abc";
  dir.write("home/.gemini/tmp/abc/a.json", "{}");
  ASSERT_EQ(::mkfifo((chats / "pipe").c_str(), 0600), 0);
  fs::create_directories(dir / "archive");
  try {
    Archiver().archive(itemAt(chats), (dir / "home").string(), dir / "archive");
    FAIL() << "a pipe was copied";
  } catch (const ArchiveError& error) {
    EXPECT_THAT(std::string(error.what()), HasSubstr("couldn't copy ~/.gemini/tmp/abc/pipe ("));
    EXPECT_THAT(std::string(error.what()),
                HasSubstr("), so the original stays; the partial copy is at " +
                          (dir / "archive/gemini/tmp/abc").string()));
  }
  EXPECT_TRUE(fs::exists(dir / "archive/gemini/tmp/abc/a.json"));
  EXPECT_TRUE(fs::exists(chats / "pipe"));
}

std::vector<std::string> spelled(const std::string& folder) {
  return {folder};
}

TEST(Archiver, TheFolderMustLieOutsideTheItemsAndNotBeProtected) {
  const DiskProtectedList protectedList("/home/me", {});
  const std::vector<DiskItem> items = {itemAt("/home/me/.claude/projects/-web")};
  EXPECT_EQ(
      archiveFolderProblem(spelled("/home/me/.claude/projects/-web/keep"), items, protectedList),
      std::string(archive_reason::insideItem));
  EXPECT_EQ(archiveFolderProblem(spelled("/home/me/.claude/projects/-web"), items, protectedList),
            std::string(archive_reason::insideItem));
  EXPECT_EQ(archiveFolderProblem(spelled("/home/me"), items, protectedList),
            std::string(archive_reason::protectedFolder));
  EXPECT_EQ(archiveFolderProblem(spelled("/home/me/.ssh/chats"), items, protectedList),
            std::string(archive_reason::protectedFolder));
  EXPECT_EQ(archiveFolderProblem(spelled("/home/me/Archive"), items, protectedList), std::nullopt);
  EXPECT_EQ(archiveFolderProblem(spelled("/home/me/.claude"), items, protectedList), std::nullopt);
  // Given through a link that leads inside the chats: the spelling given counts too.
  EXPECT_EQ(archiveFolderProblem({"/home/me/.claude/projects/-web/x", "/srv/elsewhere"}, items,
                                 protectedList),
            std::string(archive_reason::insideItem));
}

}  // namespace
}  // namespace glimmet
