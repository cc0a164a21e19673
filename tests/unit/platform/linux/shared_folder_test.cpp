// The shared folder against what can be planted in it: links, FIFOs, hard
// links, loose modes, other users' files and folders, held locks.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <chrono>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace glimmet::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

class SharedFolderTest : public ::testing::Test {
 protected:
  fs::path folder() const { return dir_ / "Glimmet"; }
  fs::path outside() const { return dir_ / "outside"; }
  SharedFolder made() const { return SharedFolder::create(folder()); }

  testing::TempDir dir_;
};

TEST_F(SharedFolderTest, ALinkInAFilesPlaceIsNeverFollowed) {
  const auto shared = made();
  for (const char* name : {"log.jsonl", "log.lock", "settings.json"})
    fs::create_symlink(outside() / name, folder() / name);
  EXPECT_THROW(shared.append("log.jsonl", "x\n"), SystemError);
  EXPECT_THROW(shared.lock("log.lock", 100ms), SystemError);
  EXPECT_FALSE(shared.read("settings.json", 1024));
  EXPECT_FALSE(shared.size("log.jsonl"));
  EXPECT_FALSE(fs::exists(outside())) << "nothing outside the folder is created";

  // Replacing swaps the name itself: the link goes, its target is untouched.
  dir_.write("outside/settings.json", "theirs");
  shared.replace("settings.json", "{}");
  EXPECT_FALSE(fs::is_symlink(folder() / "settings.json"));
  EXPECT_EQ(*shared.read("settings.json", 1024), "{}");
  EXPECT_EQ(dir_.read("outside/settings.json"), "theirs");
  EXPECT_EQ(modeOf(folder() / "settings.json"), 0600u);
}

TEST_F(SharedFolderTest, FifosFoldersAndHardLinksAreRefusedWithoutWaiting) {
  const auto shared = made();
  ASSERT_EQ(::mkfifo((folder() / "events.jsonl").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((folder() / "events.lock").c_str(), 0600), 0);
  fs::create_directory(folder() / "cache.json");
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(shared.read("events.jsonl", 1024));
  EXPECT_THROW(shared.append("events.jsonl", "x\n"), SystemError);
  EXPECT_THROW(shared.lock("events.lock", 5s), SystemError);
  EXPECT_FALSE(shared.read("cache.json", 1024));
  EXPECT_FALSE(shared.readTail("events.jsonl", 1024, [](std::string_view) {}));
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);

  // A second name for a file of the user's elsewhere is not appended to.
  dir_.write("outside/profile", "mine\n");
  ASSERT_EQ(::link((outside() / "profile").c_str(), (folder() / "linked.jsonl").c_str()), 0);
  EXPECT_THROW(shared.append("linked.jsonl", "x\n"), SystemError);
  EXPECT_EQ(dir_.read("outside/profile"), "mine\n");
  EXPECT_THROW(shared.append("../escape", "x\n"), SystemError);
}

TEST_F(SharedFolderTest, LooseModesAreTightened) {
  fs::create_directories(folder());
  ::chmod(folder().c_str(), 0777);
  dir_.write("Glimmet/settings.json", "{}");
  ::chmod((folder() / "settings.json").c_str(), 0666);
  const auto shared = SharedFolder::open(folder());
  ASSERT_TRUE(shared);
  EXPECT_EQ(modeOf(folder()), 0700u);
  EXPECT_EQ(*shared->read("settings.json", 1024), "{}");
  EXPECT_EQ(modeOf(folder() / "settings.json"), 0600u);
  const mode_t previous = ::umask(0);
  shared->append("new.jsonl", "x\n");
  const auto lock = shared->lock("new.lock", 1s);
  ::umask(previous);
  EXPECT_EQ(modeOf(folder() / "new.jsonl"), 0600u);
  EXPECT_EQ(modeOf(folder() / "new.lock"), 0600u);
}

TEST_F(SharedFolderTest, AnotherUsersFolderOrFileIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand files to another user";
  fs::create_directories(folder());
  dir_.write("Glimmet/settings.json", "{}");
  ASSERT_EQ(::chown((folder() / "settings.json").c_str(), 65534, 65534), 0);
  const auto shared = SharedFolder::open(folder());
  ASSERT_TRUE(shared);
  EXPECT_FALSE(shared->read("settings.json", 1024));
  EXPECT_THROW(shared->append("settings.json", "x"), SystemError);
  EXPECT_THROW(shared->replace("settings.json", "{}"), SystemError);
  EXPECT_EQ(dir_.read("Glimmet/settings.json"), "{}");

  ASSERT_EQ(::chown(folder().c_str(), 65534, 65534), 0);
  EXPECT_FALSE(SharedFolder::open(folder()));
  EXPECT_THROW(SharedFolder::create(folder()), SystemError);
  EXPECT_FALSE(fs::exists(folder() / "x.lock"));
}

TEST_F(SharedFolderTest, AHeldLockCostsABoundedWait) {
  const auto shared = made();
  {
    const auto first = shared.lock("busy.lock", 1s);
    // flock locks belong to the open file, so a second open contends like
    // another process would.
    const auto started = std::chrono::steady_clock::now();
    EXPECT_THROW(shared.lock("busy.lock", 300ms), LockTimeout);
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, 300ms);
    EXPECT_LT(waited, 3s);
  }
  EXPECT_NO_THROW(shared.lock("busy.lock", 0ms)) << "released with its holder";
}

TEST_F(SharedFolderTest, ReadTailStartsAtALineAndStaysWithinItsBound) {
  const auto shared = made();
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "line " + std::to_string(i) + "\n";
  dir_.write("Glimmet/log.jsonl", text);
  std::string tail;
  ASSERT_TRUE(shared.readTail("log.jsonl", 100, [&](std::string_view piece) { tail += piece; }));
  EXPECT_LE(tail.size(), 100u);
  EXPECT_EQ(tail.substr(tail.size() - 9), "line 999\n");
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  EXPECT_EQ(text[text.size() - tail.size() - 1], '\n') << "the tail starts at a line";

  std::string whole;
  ASSERT_TRUE(
      shared.readTail("log.jsonl", 1 << 20, [&](std::string_view piece) { whole += piece; }));
  EXPECT_EQ(whole, text);

  fs::create_symlink("/dev/zero", folder() / "zero.jsonl");
  EXPECT_FALSE(shared.readTail("zero.jsonl", 1 << 20, [](std::string_view) { FAIL(); }));
}

}  // namespace
}  // namespace glimmet::platform
