// Moves into a real XDG Trash in a temporary data folder: the info file, name
// collisions, odd names, and a Trash that can't be used leaving the item alone.
#include "platform/trash.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_dir.h"

namespace glimmet::platform {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;

struct TrashFixture {
  testing::TempDir dir;
  Environment environment =
      Environment({{"HOME", (dir / "home").string()}, {"XDG_DATA_HOME", (dir / "data").string()}});
  SystemTrash trash{environment};
  const std::chrono::system_clock::time_point now = std::chrono::system_clock::now();
};

TEST(SystemTrash, MovesTheItemWithOneRenameAfterWritingItsInfo) {
  TrashFixture f;
  const auto item = f.dir.write("home/odd name %/it's\nhere", "payload").parent_path();
  struct stat before {};
  ASSERT_EQ(::lstat(item.c_str(), &before), 0);

  const auto moved = f.trash.moveToTrash(item, f.now);
  EXPECT_EQ(moved.trashPath, f.dir / "data/Trash/files/odd name %");
  EXPECT_FALSE(std::filesystem::exists(item));
  EXPECT_EQ(moved.identity.inode, static_cast<uint64_t>(before.st_ino));
  EXPECT_EQ(f.dir.read("data/Trash/files/odd name %/it's\nhere"), "payload");
  const auto info = f.dir.read("data/Trash/info/odd name %.trashinfo");
  EXPECT_THAT(info,
              MatchesRegex("\\[Trash Info\\]\nPath=.*/home/odd%20name%20%25\n"
                           "DeletionDate=[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\n"));
  struct stat folder {};
  ASSERT_EQ(::stat((f.dir / "data/Trash/files").c_str(), &folder), 0);
  EXPECT_EQ(folder.st_mode & 0777, 0700u);
}

TEST(SystemTrash, ANameAlreadyInTheTrashGetsTheNextFreeOne) {
  TrashFixture f;
  f.dir.write("home/a/cache/x", "1");
  f.dir.write("home/b/cache/x", "2");
  f.dir.write("home/c/cache/x", "3");
  f.dir.write("data/Trash/info/cache.3.trashinfo", "someone else's");
  EXPECT_EQ(f.trash.moveToTrash(f.dir / "home/a/cache", f.now).trashPath.filename(), "cache");
  EXPECT_EQ(f.trash.moveToTrash(f.dir / "home/b/cache", f.now).trashPath.filename(), "cache.2");
  EXPECT_EQ(f.trash.moveToTrash(f.dir / "home/c/cache", f.now).trashPath.filename(), "cache.4");
  EXPECT_EQ(f.dir.read("data/Trash/info/cache.3.trashinfo"), "someone else's");
  EXPECT_EQ(f.dir.read("data/Trash/files/cache.4/x"), "3");
}

TEST(SystemTrash, ALinkMovesAsALinkAndItsTargetStays) {
  TrashFixture f;
  const auto target = f.dir.write("home/real/keep", "mine");
  std::filesystem::create_directory_symlink(target.parent_path(), f.dir / "home/link");
  const auto moved = f.trash.moveToTrash(f.dir / "home/link", f.now);
  EXPECT_TRUE(std::filesystem::is_symlink(moved.trashPath));
  EXPECT_EQ(f.dir.read("home/real/keep"), "mine");
}

TEST(SystemTrash, AnUnusableTrashLeavesTheItemWhereItWas) {
  TrashFixture f;
  const auto item = f.dir.write("home/cache/x", "1").parent_path();
  f.dir.write("data/Trash/files", "not a folder");
  EXPECT_THROW(f.trash.moveToTrash(item, f.now), TrashError);
  EXPECT_EQ(f.dir.read("home/cache/x"), "1");
  EXPECT_FALSE(std::filesystem::exists(f.dir / "data/Trash/info/cache.trashinfo"));

  EXPECT_THROW(f.trash.moveToTrash(f.dir / "home/absent", f.now), TrashError);
  EXPECT_THROW(f.trash.moveToTrash("relative/path", f.now), TrashError);
}

FileIdentity identityOf(const std::filesystem::path& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

std::optional<ItemChange> changeOfMove(const TrashFixture& f, const std::filesystem::path& item,
                                       const FileIdentity& identity, LinkFreeResolver resolver) {
  try {
    f.trash.moveToTrash(item, f.now, identity, resolver);
  } catch (const TrashItemChanged& changed) {
    return changed.change();
  }
  return std::nullopt;
}

bool trashIsEmpty(const TrashFixture& f) {
  for (const char* folder : {"data/Trash/files", "data/Trash/info"})
    if (std::filesystem::exists(f.dir / folder) && !std::filesystem::is_empty(f.dir / folder))
      return false;
  return true;
}

// The identity is taken when the plan is made; then a folder on the way is
// swapped for a link to a folder outside that holds an item of the same name.
TEST(SystemTrash, AFolderOnTheWaySwappedForALinkMovesNothing) {
  for (const auto resolver : {LinkFreeResolver::automatic, LinkFreeResolver::componentWalk}) {
    TrashFixture f;
    const auto item = f.dir.write("home/proj/cache/x", "mine").parent_path();
    const auto identity = identityOf(item);
    f.dir.write("outside/cache/x", "not part of it");
    std::filesystem::rename(f.dir / "home/proj", f.dir / "moved-proj");
    std::filesystem::create_directory_symlink(f.dir / "outside", f.dir / "home/proj");

    EXPECT_EQ(changeOfMove(f, item, identity, resolver), ItemChange::linkOnTheWay);
    EXPECT_EQ(f.dir.read("outside/cache/x"), "not part of it");
    EXPECT_EQ(f.dir.read("moved-proj/cache/x"), "mine");
    EXPECT_TRUE(trashIsEmpty(f));

    // A link to the very item is still a link on the way: nothing moves either.
    std::filesystem::remove(f.dir / "home/proj");
    std::filesystem::create_directory_symlink(f.dir / "moved-proj", f.dir / "home/proj");
    EXPECT_EQ(changeOfMove(f, item, identity, resolver), ItemChange::linkOnTheWay);
    EXPECT_EQ(f.dir.read("moved-proj/cache/x"), "mine");
    EXPECT_TRUE(trashIsEmpty(f));
  }
}

TEST(SystemTrash, AnotherItemAtThePathMovesNothing) {
  TrashFixture f;
  const auto item = f.dir.write("home/cache/x", "planned").parent_path();
  const auto identity = identityOf(item);
  std::filesystem::rename(item, f.dir / "planned");
  f.dir.write("home/cache/y", "someone else's");
  EXPECT_EQ(changeOfMove(f, item, identity, LinkFreeResolver::automatic), ItemChange::otherItem);
  EXPECT_EQ(f.dir.read("home/cache/y"), "someone else's");

  std::filesystem::remove_all(item);
  std::filesystem::create_directory_symlink(f.dir / "planned", item);
  EXPECT_EQ(changeOfMove(f, item, identity, LinkFreeResolver::automatic), ItemChange::isLink);
  std::filesystem::remove(item);
  EXPECT_EQ(changeOfMove(f, item, identity, LinkFreeResolver::automatic), ItemChange::gone);
  EXPECT_TRUE(trashIsEmpty(f));
}

TEST(SystemTrash, AHomeFolderReachedThroughALinkStillWorksAndKeepsTheOriginalPath) {
  testing::TempDir dir;
  dir.write("var/home/me/cache/x", "1");
  std::filesystem::create_directory_symlink(dir / "var/home", dir / "home");
  const Environment environment({{"HOME", (dir / "home/me").string()},
                                 {"XDG_DATA_HOME", (dir / "home/me/.local/share").string()}});
  const SystemTrash trash(environment);
  const auto item = dir / "home/me/cache";
  const auto moved = trash.moveToTrash(item, std::chrono::system_clock::now(), identityOf(item));
  EXPECT_EQ(moved.trashPath, dir / "home/me/.local/share/Trash/files/cache");
  EXPECT_EQ(dir.read("var/home/me/.local/share/Trash/files/cache/x"), "1");
  EXPECT_THAT(dir.read("var/home/me/.local/share/Trash/info/cache.trashinfo"),
              HasSubstr("\nPath=" + item.string() + "\n"));
}

TEST(TrashInfo, PathsArePercentEncodedExceptSlashes) {
  EXPECT_EQ(trashInfoPathEncoding("/home/me/a b/ü#?"), "/home/me/a%20b/%C3%BC%23%3F");
  EXPECT_EQ(trashInfoPathEncoding("/x/it's(1)~-_.!*"), "/x/it's(1)~-_.!*");
}

}  // namespace
}  // namespace glimmet::platform
