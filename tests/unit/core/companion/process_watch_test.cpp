// The companion's process table: what a look notices over crafted procfs
// folders (a pid reused, a parent gone, an exec, a kernel thread), and over the
// kernel's own table with real processes that are re-parented and exit.
#include "core/companion/process_watch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>

#include "support/child_process.h"
#include "support/fake_proc.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using testing::FakeProc;
using namespace std::string_literals;

constexpr uid_t kUser = 1000;
const auto kNow = std::chrono::system_clock::time_point(std::chrono::seconds(2'000'000'000));

std::string statLine(pid_t pid, const std::string& comm, std::uint64_t start, pid_t ppid,
                     std::uint64_t flags = 4194560, char state = 'S') {
  auto line = FakeProc::statLine(pid, comm, start, flags);
  const auto at = line.find(") S 1 ");
  return line.replace(at, 6, ") " + std::string(1, state) + " " + std::to_string(ppid) + " ");
}

// A process as the kernel lists it, written into a fresh folder that then
// replaces the old one: a new /proc entry, as for a new process.
void place(const FakeProc& proc, pid_t pid, const std::string& comm, std::uint64_t start,
           pid_t ppid, const std::string& cmdline) {
  const std::string staging = ".new-" + std::to_string(pid);
  proc.write(staging + "/stat", statLine(pid, comm, start, ppid));
  proc.write(staging + "/status",
             "Name:\t" + comm + "\nUid:\t1000\t1000\t1000\t1000\nVmRSS:\t  2048 kB\n");
  proc.write(staging + "/cmdline", cmdline);
  proc.write(staging + "/environ", "SECRET=kept-out\0"s);
  fs::remove_all(proc.path(std::to_string(pid)));
  fs::rename(proc.path(staging), proc.path(std::to_string(pid)));
}

const ProcessRecord* find(const ProcessSnapshot& snapshot, pid_t pid) {
  return snapshot.record(pid);
}

// A copy of the table the watch lends out.
ProcessSnapshot tableOf(ProcessWatch& watch) {
  ProcessSnapshot copy;
  watch.withSnapshot(kNow, [&](const ProcessSnapshot& snapshot) { copy = snapshot; });
  return copy;
}

TEST(ProcessWatch, ReadsEachProcessOnceAndKeepsNoEnvironment) {
  FakeProc proc;
  place(proc, 1, "init", 1, 0, "/sbin/init\0"s);
  place(proc, 400, "claude", 50, 1, "claude\0--resume\0"s);
  place(proc, 401, "node", 60, 400, "node\0server.js\0"s);
  // A kernel thread is left out of the table for good.
  proc.write("2/stat", statLine(2, "kthreadd", 1, 0, 0x00200040));
  ProcessWatch watch(kUser, proc.root());

  const auto first = watch.look();
  EXPECT_EQ(first.added, 3u);
  EXPECT_FALSE(first.any() && first.removed > 0);
  const auto snapshot = tableOf(watch);
  ASSERT_EQ(snapshot.size(), 3u);
  EXPECT_EQ(find(snapshot, 400)->argv, (std::vector<std::string>{"claude", "--resume"}));
  EXPECT_TRUE(find(snapshot, 401)->environment.empty());
  EXPECT_EQ(find(snapshot, 401)->ppid, 400);
  EXPECT_EQ(find(snapshot, 2), nullptr);

  for (int look = 0; look < 40; ++look) EXPECT_FALSE(watch.look().any()) << "look " << look;
}

TEST(ProcessWatch, NoticesAReusedPidAParentGoneAndAnExec) {
  FakeProc proc;
  place(proc, 1, "init", 1, 0, "/sbin/init\0"s);
  place(proc, 400, "claude", 50, 1, "claude\0"s);
  place(proc, 401, "bash", 60, 400, "bash\0"s);
  place(proc, 402, "node", 61, 401, "node\0lsp.js\0"s);
  ProcessWatch watch(kUser, proc.root());
  watch.look();
  for (int look = 0; look < ProcessWatch::kLooksWhileNew; ++look) watch.look();
  const auto agent = tableOf(watch).record(400)->identity;

  // 400 exited and its pid went to a new process at once: 401 was re-parented.
  place(proc, 400, "vim", 90, 1, "vim\0"s);
  proc.write("401/stat", statLine(401, "bash", 60, 1));
  const auto reused = watch.look();
  EXPECT_EQ(reused.removed, 1u);
  EXPECT_EQ(reused.added, 1u);
  EXPECT_EQ(reused.reparented, 1u);
  auto snapshot = tableOf(watch);
  EXPECT_NE(find(snapshot, 400)->identity, agent);
  EXPECT_EQ(find(snapshot, 400)->name, "vim");
  EXPECT_EQ(find(snapshot, 401)->ppid, 1) << "its parent's pid now names a younger process";

  // 402 exec'd another program long after it started: the sweep finds it
  // within its round, without its /proc entry changing.
  proc.write("402/stat", statLine(402, "pyright", 61, 401));
  proc.write("402/cmdline", "pyright\0--stdio\0"s);
  std::vector<ProcessIdentity> replaced;
  for (std::size_t look = 0; look < ProcessWatch::kSweepLooks && replaced.empty(); ++look)
    replaced = watch.look().replacedPrograms;
  ASSERT_EQ(replaced.size(), 1u);
  EXPECT_EQ(replaced[0].pid, 402);
  snapshot = tableOf(watch);
  EXPECT_EQ(find(snapshot, 402)->argv, (std::vector<std::string>{"pyright", "--stdio"}));

  fs::remove_all(proc.path("402"));
  const auto gone = watch.look();
  EXPECT_EQ(gone.removed, 1u);
  EXPECT_EQ(tableOf(watch).record(402), nullptr);
}

TEST(ProcessWatch, ANewProcessCaughtBetweenForkAndExecIsReadAgain) {
  FakeProc proc;
  place(proc, 1, "init", 1, 0, "/sbin/init\0"s);
  place(proc, 401, "bash", 60, 1, "bash\0"s);
  ProcessWatch watch(kUser, proc.root());
  watch.look();
  // The shell's child is seen as a copy of the shell, then becomes the agent.
  place(proc, 500, "bash", 70, 401, "bash\0"s);
  watch.look();
  proc.write("500/stat", statLine(500, "claude", 70, 401));
  proc.write("500/cmdline", "claude\0"s);
  const auto changes = watch.look();
  ASSERT_EQ(changes.replacedPrograms.size(), 1u);
  EXPECT_EQ(tableOf(watch).record(500)->name, "claude");
}

TEST(ProcessWatch, AnAgentWatchedAtEveryLookIsSeenTurningZombieAtOnce) {
  FakeProc proc;
  place(proc, 1, "init", 1, 0, "/sbin/init\0"s);
  place(proc, 400, "claude", 50, 1, "claude\0"s);
  ProcessWatch watch(kUser, proc.root());
  for (int look = 0; look <= ProcessWatch::kLooksWhileNew; ++look) watch.look();
  watch.checkEveryLook({400});
  proc.write("400/stat", statLine(400, "claude", 50, 1, 4194560, 'Z'));
  EXPECT_EQ(watch.look().restated, 1u);
  EXPECT_EQ(tableOf(watch).record(400)->status, ProcessStatus::zombie);
}

TEST(ProcessWatch, FollowsRealProcessesThatAreReparentedAndExit) {
  const auto helper = testing::helperBinary().string();
  ProcessWatch watch(::geteuid());
  watch.look();
  auto agent = testing::ChildProcess::helper({"agent", helper, "sleep"});
  const auto child = static_cast<pid_t>(agent.reportedNumbers().at(0));
  const platform::UniqueFd childFd(static_cast<int>(::syscall(SYS_pidfd_open, child, 0)));
  watch.look();
  auto snapshot = tableOf(watch);
  ASSERT_NE(snapshot.record(child), nullptr);
  EXPECT_EQ(snapshot.record(child)->ppid, agent.pid());
  EXPECT_EQ(snapshot.record(agent.pid())->argv.at(1), "agent");

  ASSERT_EQ(agent.waitForExit(5), 0);
  watch.look();
  snapshot = tableOf(watch);
  EXPECT_EQ(snapshot.record(agent.pid()), nullptr);
  ASSERT_NE(snapshot.record(child), nullptr);
  EXPECT_NE(snapshot.record(child)->ppid, agent.pid()) << "re-parented when its parent went";

  ASSERT_EQ(::syscall(SYS_pidfd_send_signal, childFd.get(), SIGKILL, nullptr, 0), 0);
  // Gone once its new parent has reaped it, which this machine's init may do late.
  for (int look = 0; look < 250 && tableOf(watch).record(child) != nullptr; ++look) {
    ::usleep(20'000);
    watch.look();
  }
  const auto* left = tableOf(watch).record(child);
  EXPECT_EQ(left, nullptr) << (left ? statusName(left->status) : "");
}

}  // namespace
}  // namespace glimmet
