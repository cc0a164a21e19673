// The cheap reads of the process table: the listing's entry numbers tell a
// process from the next one under its pid, and one stat read says who a
// process is and who its parent is.
#include "platform/process_scan.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "support/fake_proc.h"

namespace glimmet::platform {
namespace {

std::optional<std::uint64_t> entryOf(ProcessScanner& scanner, pid_t pid) {
  std::vector<ListedProcess> listing;
  EXPECT_TRUE(scanner.list(listing));
  const auto found = std::find_if(listing.begin(), listing.end(),
                                  [&](const ListedProcess& entry) { return entry.pid == pid; });
  if (found == listing.end()) return std::nullopt;
  return found->entryID;
}

TEST(ProcessScanner, ReadsWhoAProcessIsAsTheFullReaderDoes) {
  ProcessScanner scanner;
  const auto stat = scanner.stat(::getpid());
  ASSERT_TRUE(stat);
  const auto full = scanner.table().open(::getpid())->read();
  ASSERT_TRUE(full);
  EXPECT_EQ(stat->startTime, full->summary.startTime);
  EXPECT_EQ(stat->ppid, ::getppid());
  EXPECT_EQ(stat->name, full->summary.name);
  EXPECT_FALSE(stat->kernelThread);
  EXPECT_EQ(entryOf(scanner, ::getpid()), entryOf(scanner, ::getpid())) << "stable between lists";
  EXPECT_FALSE(scanner.stat(0));
}

TEST(ProcessScanner, AReusedPidListsAnotherEntry) {
  if (::geteuid() != 0) GTEST_SKIP() << "choosing the next pid needs root";
  ProcessScanner scanner;
  const pid_t first = ::fork();
  if (first == 0) {
    ::pause();
    ::_exit(0);
  }
  const auto before = entryOf(scanner, first);
  ::kill(first, SIGKILL);
  ::waitpid(first, nullptr, 0);
  // The kernel gives the next process the pid after the last one handed out.
  if (!(std::ofstream("/proc/sys/kernel/ns_last_pid") << first - 1))
    GTEST_SKIP() << "this pid namespace can't choose its next pid";
  const pid_t second = ::fork();
  if (second == 0) {
    ::pause();
    ::_exit(0);
  }
  const auto after = entryOf(scanner, second);
  ::kill(second, SIGKILL);
  ::waitpid(second, nullptr, 0);
  if (second != first) GTEST_SKIP() << "another process took the pid first";
  ASSERT_TRUE(before && after);
  EXPECT_NE(*before, *after);
}

TEST(ProcessScanner, TellsKernelThreadsAndRefusesMalformedText) {
  testing::FakeProc proc;
  proc.write("2/stat", testing::FakeProc::statLine(2, "kthreadd", 1, 0x00200040));
  proc.write("3/stat", "3 (x) S 1 2");
  proc.write("4/stat", testing::FakeProc::statLine(5, "liar", 1));
  ProcessScanner scanner(proc.root());
  ASSERT_TRUE(scanner.stat(2));
  EXPECT_TRUE(scanner.stat(2)->kernelThread);
  EXPECT_FALSE(scanner.stat(3)) << "truncated";
  EXPECT_FALSE(scanner.stat(4)) << "names another pid";
  EXPECT_FALSE(scanner.stat(9)) << "missing";
}

}  // namespace
}  // namespace glimmet::platform
