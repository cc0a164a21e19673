// The link-free tree copy behind archiving: the comparison that decides
// whether an original may go notices a changed byte, link or entry, and the
// folders made inside the archive folder are never reached through a link.
#include "platform/tree_copy.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/temp_dir.h"

namespace glimmet::platform {
namespace {

namespace fs = std::filesystem;

HeldItem hold(const fs::path& item) {
  auto reached = holdItem(item, "", std::nullopt);
  EXPECT_TRUE(std::holds_alternative<HeldItem>(reached));
  return std::get<HeldItem>(std::move(reached));
}

TEST(TreeCopy, TheComparisonCatchesAnyDifferenceInTheCopy) {
  testing::TempDir dir;
  dir.write("chats/a.jsonl", "{\"turn\": 1}\n");
  dir.write("chats/deep/b.jsonl", std::string(70'000, 'b'));
  fs::create_symlink("a.jsonl", dir / "chats/latest");
  const auto item = hold(dir / "chats");
  const auto archive = openCopyDestination(dir / "archive", "by/agent");
  copyTree(item, archive.get(), "~/chats");
  EXPECT_TRUE(copyMatches(item, archive.get(), "~/chats"));
  const auto copy = dir / "archive/by/agent/chats";

  {  // the same size, one byte different
    std::fstream file(copy / "deep/b.jsonl", std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(65'536);
    file.put('x');
  }
  EXPECT_FALSE(copyMatches(item, archive.get(), "~/chats"));
  dir.write("archive/by/agent/chats/deep/b.jsonl", std::string(70'000, 'b'));
  EXPECT_TRUE(copyMatches(item, archive.get(), "~/chats"));

  fs::remove(copy / "latest");
  fs::create_symlink("deep/b.jsonl", copy / "latest");
  EXPECT_FALSE(copyMatches(item, archive.get(), "~/chats"));
  fs::remove(copy / "latest");
  fs::create_symlink("a.jsonl", copy / "latest");

  dir.write("archive/by/agent/chats/extra", "");
  EXPECT_FALSE(copyMatches(item, archive.get(), "~/chats"));
  fs::remove(copy / "extra");
  EXPECT_TRUE(copyMatches(item, archive.get(), "~/chats"));
}

TEST(TreeCopy, FoldersInsideTheArchiveAreNeverReachedThroughALink) {
  testing::TempDir dir;
  fs::create_directories(dir / "archive");
  fs::create_directories(dir / "elsewhere");
  fs::create_directory_symlink(dir / "elsewhere", dir / "archive/claude");
  try {
    openCopyDestination(dir / "archive", "claude/projects");
    FAIL() << "opened through a link";
  } catch (const TreeCopyFailure& failure) {
    EXPECT_EQ(failure.path, (dir / "archive/claude").string());
  }
  EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));

  // A missing archive folder is made, private, with its parents.
  const auto made = openCopyDestination(dir / "new/archive", "claude/projects");
  EXPECT_TRUE(made);
  EXPECT_EQ(fs::status(dir / "new/archive/claude").permissions() & fs::perms::all,
            fs::perms::owner_all);
  EXPECT_TRUE(entryExistsIn(made.get(), "..") && !entryExistsIn(made.get(), "chats"));
}

}  // namespace
}  // namespace glimmet::platform
