// The files a process holds open, read from crafted fd folders and from this
// process's own: sockets, pipes and deleted files are no paths, but a file
// that is really named like a deleted one is.
#include "platform/open_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "support/fake_proc.h"
#include "support/temp_dir.h"

namespace glimmet::platform {
namespace {

namespace fs = std::filesystem;
using testing::FakeProc;
using testing::TempDir;

TEST(FakeProcOpenFiles, ListsOnlyFilesThatStillHaveTheirNames) {
  FakeProc proc;
  TempDir real;
  real.write("notes (deleted)", "still here");
  proc.addProcess(60, "editor");
  proc.link("60/fd/0", "/home/dev/project/src/main.c");
  proc.link("60/fd/1", "/home/dev/project/.swp (deleted)");
  proc.link("60/fd/2", "socket:[1]");
  proc.link("60/fd/3", "anon_inode:[eventfd]");
  proc.link("60/fd/4", (real / "notes (deleted)").string());
  const auto paths = openFilePaths(60, proc.root());
  EXPECT_EQ(
      std::set<std::string>(paths.begin(), paths.end()),
      (std::set<std::string>{"/home/dev/project/src/main.c", (real / "notes (deleted)").string()}));
  EXPECT_TRUE(openFilePaths(61, proc.root()).empty());
}

TEST(LiveProcOpenFiles, KeepsAFileNamedLikeADeletedOne) {
  TempDir dir;
  dir.write("kept (deleted)", "x");
  dir.write("unlinked", "x");
  const int kept = ::open((dir / "kept (deleted)").c_str(), O_RDONLY | O_CLOEXEC);
  const int unlinked = ::open((dir / "unlinked").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(kept, 0);
  ASSERT_GE(unlinked, 0);
  fs::remove(dir / "unlinked");

  const auto paths = openFilePaths(getpid());
  const auto folder = fs::canonical(dir.path()).string();
  std::vector<std::string> inFolder;
  std::copy_if(paths.begin(), paths.end(), std::back_inserter(inFolder),
               [&](const std::string& path) { return path.starts_with(folder + "/"); });
  EXPECT_EQ(inFolder, std::vector<std::string>{folder + "/kept (deleted)"});
  ::close(kept);
  ::close(unlinked);
}

}  // namespace
}  // namespace glimmet::platform
