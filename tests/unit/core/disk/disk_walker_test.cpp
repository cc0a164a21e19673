// measure() over real trees: hard links inside and outside, links never
// followed, loops, unreadable folders (as another user), other mounts, cancelling
// and several walks at once.
#include "core/disk/disk_walker.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "support/run_process.h"
#include "support/temp_dir.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;

uint64_t allocated(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0);
  return static_cast<uint64_t>(info.st_blocks) * 512;
}

// Runs `body` in a forked child and returns its exit status (the child's verdict).
template <typename Body>
int inChild(Body body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}

TEST(DiskWalker, CountsEveryFileOnceAndItsSizeByFirstComponent) {
  testing::TempDir dir;
  const auto a = dir.write("tree/src/a.txt", std::string(10000, 'a'));
  const auto b = dir.write("tree/src/deep/b.txt", std::string(5000, 'b'));
  const auto c = dir.write("tree/c.txt", "c");
  fs::create_hard_link(a, dir / "tree/src/deep/a-again.txt");  // same file, two names
  dir.write("tree/.git/HEAD", "ref: refs/heads/main\n");

  const auto m = measure(dir / "tree", *CancelFlag::make());
  const uint64_t head = allocated(dir / "tree/.git/HEAD");
  EXPECT_EQ(m.bytes, allocated(a) + allocated(b) + allocated(c) + head);
  EXPECT_EQ(m.uniqueBytes, m.bytes);
  EXPECT_EQ(m.files, 4u);
  EXPECT_TRUE(m.multiLinks.empty());
  EXPECT_TRUE(m.containsGit);
  EXPECT_FALSE(m.noAccess);
  EXPECT_FALSE(m.cancelled);
  EXPECT_EQ(m.children.at("src"), allocated(a) + allocated(b));
  EXPECT_EQ(m.children.at("c.txt"), allocated(c));
  ASSERT_TRUE(m.newest);

  const auto single = measure(c, *CancelFlag::make());
  EXPECT_EQ(single.files, 1u);
  EXPECT_EQ(single.uniqueBytes, allocated(c));
  EXPECT_FALSE(measure(dir / "tree/missing", *CancelFlag::make()).newest);
}

TEST(DiskWalker, AFileLinkedFromOutsideIsNotUniqueAndStaysInMultiLinks) {
  testing::TempDir dir;
  const auto inside = dir.write("tree/big.bin", std::string(20000, 'x'));
  dir.write("tree/own.txt", std::string(3000, 'o'));
  fs::create_hard_link(inside, dir / "elsewhere.bin");
  const auto m = measure(dir / "tree", *CancelFlag::make());
  EXPECT_EQ(m.bytes, allocated(inside) + allocated(dir / "tree/own.txt"));
  EXPECT_EQ(m.uniqueBytes, allocated(dir / "tree/own.txt"));
  ASSERT_EQ(m.multiLinks.size(), 1u);
  EXPECT_EQ(m.multiLinks.begin()->second, (MultiLink{allocated(inside), 2, 1}));
}

TEST(DiskWalker, NeverFollowsLinksAndSurvivesLoops) {
  testing::TempDir dir;
  dir.write("big/blob.bin", std::string(100000, 'x'));
  fs::create_directories(dir / "tree");
  fs::create_directory_symlink(dir / "big", dir / "tree/to-big");
  fs::create_directory_symlink(dir / "tree", dir / "tree/loop");
  fs::create_symlink("b", dir / "tree/a");
  fs::create_symlink("a", dir / "tree/b");
  const auto link = measure(dir / "tree/to-big", *CancelFlag::make());
  EXPECT_EQ(link.bytes, 0u);
  EXPECT_EQ(link.files, 0u);
  const auto m = measure(dir / "tree", *CancelFlag::make());
  EXPECT_LT(m.bytes, 100000u);  // each link is its own (tiny) entry, never its target
  EXPECT_EQ(m.files, 4u);
}

TEST(DiskWalker, ACancelledWalkSaysSo) {
  testing::TempDir dir;
  dir.write("tree/a/b.txt", "b");
  const auto flag = CancelFlag::make();
  flag->cancel();
  const auto m = measure(dir / "tree", *flag);
  EXPECT_TRUE(m.cancelled);
  EXPECT_EQ(m.files, 0u);
}

TEST(DiskWalker, ManyWalksAtOnceAgree) {
  testing::TempDir dir;
  for (int i = 0; i < 50; ++i)
    dir.write("tree/d" + std::to_string(i % 7) + "/f" + std::to_string(i), std::string(4096, 'z'));
  const auto flag = CancelFlag::make();
  const auto expected = measure(dir / "tree", *flag);
  std::vector<std::thread> threads;
  std::vector<Measurement> results(4);
  for (size_t i = 0; i < results.size(); ++i)
    threads.emplace_back(
        [&, i] { results[i] = withThrottledIO([&] { return measure(dir / "tree", *flag); }); });
  for (auto& thread : threads) thread.join();
  for (const auto& result : results) {
    EXPECT_EQ(result.bytes, expected.bytes);
    EXPECT_EQ(result.files, 50u);
    EXPECT_EQ(result.children, expected.children);
  }
}

// 600 files in 3 levels of folders, hard links between far-apart folders and
// from outside, a link to a big file and an empty folder.
fs::path sharedTree(const testing::TempDir& dir) {
  for (int i = 0; i < 600; ++i)
    dir.write("tree/a" + std::to_string(i % 6) + "/b" + std::to_string(i % 10) + "/c" +
                  std::to_string(i % 5) + "/f" + std::to_string(i),
              std::string(static_cast<size_t>(i * 37), 'w'));
  for (int i = 0; i < 20; ++i)
    fs::create_hard_link(dir / ("tree/a0/b0/c0/f" + std::to_string(i * 30)),
                         dir / ("tree/a5/link" + std::to_string(i)));
  const auto outside = dir.write("outside.bin", std::string(30000, 'o'));
  fs::create_hard_link(outside, dir / "tree/a3/outside-link");
  fs::create_symlink(outside, dir / "tree/a2/symlink");
  fs::create_directories(dir / "tree/empty");
  return dir / "tree";
}

TEST(DiskWalker, FourWalkersAgreeWithOneAndWithDu) {
  testing::TempDir dir;
  const auto tree = sharedTree(dir);
  const auto flag = CancelFlag::make();
  const auto one = measure(tree, *flag, 1);
  for (int round = 0; round < 5; ++round) {  // workers share folders differently each time
    const auto four = measure(tree, *flag, 4);
    EXPECT_EQ(four.bytes, one.bytes);
    EXPECT_EQ(four.uniqueBytes, one.uniqueBytes);
    EXPECT_EQ(four.files, one.files);
    EXPECT_EQ(four.newest, one.newest);
    EXPECT_EQ(four.children, one.children);
    EXPECT_EQ(four.multiLinks, one.multiLinks);
  }
  EXPECT_EQ(one.files, 602u);  // each linked file once, the symlink, the outside link
  EXPECT_EQ(one.uniqueBytes, one.bytes - allocated(dir / "outside.bin"));
  ASSERT_EQ(one.multiLinks.size(), 1u);
  EXPECT_FALSE(one.children.contains("empty"));

  // du counts each file once too, and the folders themselves, which a
  // measurement leaves out.
  const auto du = testing::runProcess({"/usr/bin/du", "-s", "-B1", tree.string()}, Environment{});
  ASSERT_EQ(du.status, 0) << du.err;
  uint64_t folders = allocated(tree);
  for (const auto& entry : fs::recursive_directory_iterator(tree))
    if (entry.is_directory() && !entry.is_symlink()) folders += allocated(entry.path());
  EXPECT_EQ(one.bytes + folders, std::stoull(du.out));
}

TEST(DiskWalker, AFolderItCannotReadMakesTheSizeALowerBound) {
  testing::TempDir dir;
  ::chmod(dir.path().c_str(), 0755);
  dir.write("tree/open.txt", std::string(5000, 'o'));
  dir.write("tree/closed/secret.txt", std::string(5000, 's'));
  for (const char* path : {"tree", "tree/open.txt"}) ::chmod((dir / path).c_str(), 0755);
  ::chmod((dir / "tree/open.txt").c_str(), 0644);
  ::chmod((dir / "tree/closed").c_str(), 0700);
  const uint64_t open = allocated(dir / "tree/open.txt");
  // Root reads everything, so the walk runs as nobody.
  const int verdict = inChild([&] {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) return 2;
    const auto m = measure(dir / "tree", *CancelFlag::make());
    return m.noAccess && m.bytes == open && m.files == 1 ? 0 : 1;
  });
  if (verdict == 2) GTEST_SKIP() << "can't switch to user 65534";
  EXPECT_EQ(verdict, 0);
}

TEST(DiskWalker, DoesNotEnterAnotherMountInsideTheTree) {
  testing::TempDir dir;
  dir.write("tree/here.txt", std::string(5000, 'h'));
  fs::create_directories(dir / "tree/mnt");
  const uint64_t here = allocated(dir / "tree/here.txt");
  const int verdict = inChild([&] {
    if (::unshare(CLONE_NEWNS) != 0) return 2;
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 2;
    if (::mount("tmpfs", (dir / "tree/mnt").c_str(), "tmpfs", 0, "size=4m") != 0) return 2;
    {
      std::ofstream file(dir / "tree/mnt/other.bin");
      file << std::string(100000, 'x');
    }
    const auto m = measure(dir / "tree", *CancelFlag::make());
    return m.bytes == here && m.files == 1 ? 0 : 1;
  });
  if (verdict == 2) GTEST_SKIP() << "can't mount a tmpfs here";
  EXPECT_EQ(verdict, 0);
}

}  // namespace
}  // namespace glimmet
