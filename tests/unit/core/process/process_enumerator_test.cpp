// The enumerator against real processes that the test starts.
#include "core/process/process_enumerator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>

#include <filesystem>
#include <fstream>
#include <thread>

#include "core/process/system_process_inspector.h"
#include "support/child_process.h"
#include "support/fake_proc.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

extern char** environ;

namespace glimmet {
namespace {

using testing::ChildProcess;
using ::testing::Contains;
using ::testing::ElementsAre;

auto now() {
  return std::chrono::system_clock::now();
}

TEST(ProcessEnumerator, RecordsTheUsersOwnProcessInFull) {
  const testing::TempDir folder;
  const auto child = ChildProcess::helper(
      {"sleep", "--marker", "two words"},
      {.cwd = folder.path(), .environment = std::vector<std::string>{"GLIMMET_MARK=1", "A=b"}});
  ProcessEnumerator enumerator(getuid());
  const auto snapshot = enumerator.snapshot(now());
  const auto* record = snapshot.record(child.pid());
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->ppid, getpid());
  EXPECT_EQ(record->pgid, child.pid());
  EXPECT_EQ(record->uid, getuid());
  EXPECT_EQ(record->status, ProcessStatus::running);
  EXPECT_EQ(record->path, testing::helperBinary().string());
  EXPECT_THAT(record->argv,
              ElementsAre(testing::helperBinary().string(), "sleep", "--marker", "two words"));
  EXPECT_THAT(record->environment.get(), ElementsAre("GLIMMET_MARK=1", "A=b"));
  EXPECT_EQ(record->cwd, std::filesystem::canonical(folder.path()).string());
  EXPECT_GT(record->residentSize, 0u);
  EXPECT_FALSE(record->hasControllingTTY);
  EXPECT_THAT(snapshot.childPIDs(getpid()), Contains(child.pid()));
}

// A snapshot reads the stat line, owner and arguments of each process; the
// rest waits until asked, and then belongs to the incarnation the snapshot saw.
TEST(ProcessEnumerator, ReadsWhatCostsAReadOfItsOwnOnlyWhenAsked) {
  const testing::FakeProc proc;
  for (const pid_t pid : {200, 201}) {
    proc.addProcess(pid, "node");
    proc.link(std::to_string(pid) + "/cwd", "/srv/app");
    proc.link(std::to_string(pid) + "/exe", "/usr/bin/node");
  }
  // The folder's owner is the uid unless the folder is root's; then status says.
  const uid_t me = geteuid() == 0 ? 1000 : geteuid();
  ProcessEnumerator enumerator(me, proc.root());
  const auto snapshot = enumerator.snapshot(now());
  ASSERT_EQ(snapshot.size(), 2u);
  for (const auto& record : snapshot.records()) {
    EXPECT_EQ(record.uid, me);
    EXPECT_THAT(record.argv, ElementsAre("node", "server.js"));
    EXPECT_FALSE(record.path.isRead());
    EXPECT_FALSE(record.environment.isRead());
    EXPECT_FALSE(record.cwd.isRead());
    EXPECT_FALSE(record.footprint.isRead());
  }
  const ProcessRecord& first = *snapshot.record(200);
  EXPECT_THAT(first.environment.get(), ElementsAre("HOME=/home/dev"));
  EXPECT_EQ(first.cwd, "/srv/app");
  EXPECT_EQ(first.path, "/usr/bin/node");
  EXPECT_EQ(first.footprint, 1024u * 1024u);
  EXPECT_FALSE(snapshot.record(201)->environment.isRead());

  // Pid 201 now names another process: nothing of it is passed off as the old one's.
  proc.write("201/stat", testing::FakeProc::statLine(201, "node", 900));
  EXPECT_EQ(snapshot.record(201)->cwd, std::nullopt);
  EXPECT_TRUE(snapshot.record(201)->environment.empty());

  // Executables read in the pass are known at once.
  ProcessEnumerator eager(me, proc.root());
  const auto withPaths = eager.snapshot(now(), SnapshotReads{.executables = true});
  EXPECT_TRUE(withPaths.record(200)->path.isRead());
  EXPECT_FALSE(withPaths.record(200)->environment.isRead());
}

TEST(ProcessEnumerator, StartTimeIsStableAndAgreesWithPs) {
  const auto child = ChildProcess::helper({"sleep"});
  ProcessEnumerator first(getuid());
  ProcessEnumerator second(getuid());
  const auto a = first.snapshot(now()).record(child.pid())->identity;
  const auto b = second.snapshot(now()).record(child.pid())->identity;
  EXPECT_EQ(a, b);
  // ps prints the same instant to the second: "Sun Dec  6 19:15:07 2026".
  const auto ps =
      testing::runProcess({"/bin/ps", "-o", "lstart=", "-p", std::to_string(child.pid())},
                          Environment::fromArray(environ));
  ASSERT_EQ(ps.status, 0);
  std::tm parsed{};
  ASSERT_NE(strptime(ps.out.c_str(), "%a %b %d %H:%M:%S %Y", &parsed), nullptr);
  parsed.tm_isdst = -1;
  const auto psSeconds = static_cast<std::uint64_t>(mktime(&parsed));
  EXPECT_NEAR(static_cast<double>(a.startTime / 1'000'000), static_cast<double>(psSeconds), 1.0);
}

TEST(ProcessEnumerator, AnExitedProcessIsMissingAndItsCacheEntryDropped) {
  auto child = ChildProcess::helper({"sleep"});
  const pid_t pid = child.pid();
  ProcessEnumerator enumerator(getuid());
  ASSERT_NE(enumerator.snapshot(now()).record(pid), nullptr);
  child.kill();
  EXPECT_EQ(enumerator.snapshot(now()).record(pid), nullptr);
}

TEST(ProcessEnumerator, AnExecUnderTheSamePidIsReadAfresh) {
  // exec keeps pid and start time; the cached arguments of the old program
  // must not be reused for the new one.
  const testing::TempDir folder;
  const auto script = folder.path() / "exec.sh";
  std::ofstream(script) << "read line\nexec " << testing::helperBinary().string()
                        << " sleep after-exec\n";
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  auto child = ChildProcess::spawn({"/bin/sh", script.string()});
  ProcessEnumerator enumerator(getuid());
  std::optional<ProcessRecord> before;
  // Until the fork has exec'd the shell, the pid still shows the test itself.
  for (int i = 0; i < 200 && !before; ++i) {
    const auto snapshot = enumerator.snapshot(now());
    const auto* r = snapshot.record(child.pid());
    if (r != nullptr && std::ranges::find(r->argv, script.string()) != r->argv.end()) before = *r;
    if (!before) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(before) << "the shell never showed its script";
  child.writeLine("go");
  ASSERT_FALSE(child.readReport().empty());  // the exec'd helper reports its pid
  const auto snapshot = enumerator.snapshot(now());
  const auto* after = snapshot.record(child.pid());
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(after->identity, before->identity);
  EXPECT_THAT(after->argv, Contains("after-exec"));
}

TEST(ProcessEnumerator, ACutKernelNameIsCompletedFromArgvZero) {
  // The kernel keeps 15 bytes of a name; argv[0] holds the rest.
  const auto child = ChildProcess::helper({"sleep"}, {.argv0 = "gnome-session-binary"});
  const testing::TempDir folder;
  const auto linked = folder.path() / "gnome-session-binary";
  std::filesystem::create_symlink(testing::helperBinary(), linked);
  auto named = ChildProcess::spawn({linked.string(), "sleep"});
  // Its report means the exec has finished: mid-exec the kernel already shows
  // the new name but no arguments yet.
  ASSERT_FALSE(named.readReport().empty());
  ProcessEnumerator enumerator(getuid());
  const auto snapshot = enumerator.snapshot(now());
  ASSERT_NE(snapshot.record(named.pid()), nullptr);
  EXPECT_EQ(snapshot.record(named.pid())->name, "gnome-session-binary");
  // An unrelated argv[0]: the executable's name completes it instead.
  EXPECT_EQ(snapshot.record(child.pid())->name, "glimmet_process_helper");
}

TEST(ProcessEnumerator, AnotherUsersProcessCarriesTheKernelSummaryOnly) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to start a process as nobody";
  const auto child =
      ChildProcess::helper({"sleep"}, {.cwd = "/", .uid = 65534, .argv0 = "nobody-sleeper"});
  ProcessEnumerator enumerator(getuid());
  const auto snapshot = enumerator.snapshot(now());
  const auto* record = snapshot.record(child.pid());
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->uid, 65534u);
  EXPECT_FALSE(record->path);
  EXPECT_TRUE(record->argv.empty());
  EXPECT_TRUE(record->environment.empty());
  EXPECT_FALSE(record->cwd);
  EXPECT_EQ(record->footprint, 0u);
  EXPECT_EQ(record->commandLine(), record->name);
  EXPECT_EQ(enumerator.refresh(*record).residentSize, 0u);
}

TEST(ProcessEnumerator, ReadsLongArgumentListsAndLargeEnvironmentsWhole) {
  std::vector<std::string> arguments{"sleep"};
  for (int i = 0; i < 2000; ++i) arguments.push_back("--argument-" + std::to_string(i));
  arguments.push_back(std::string(4096, 'p'));  // a 4096-byte path-like argument
  std::vector<std::string> environment;
  for (int i = 0; i < 500; ++i)
    environment.push_back("VAR" + std::to_string(i) + "=" + std::string(200, 'v'));
  const auto child = ChildProcess::helper(arguments, {.environment = environment});
  ProcessEnumerator enumerator(getuid());
  const auto snapshot = enumerator.snapshot(now());
  const auto* record = snapshot.record(child.pid());
  ASSERT_NE(record, nullptr);
  ASSERT_EQ(record->argv.size(), arguments.size() + 1);
  EXPECT_EQ(record->argv.back(), arguments.back());
  EXPECT_EQ(record->environment, environment);
}

TEST(ProcessEnumerator, SeesOrphansAndNewSessions) {
  const auto orphanMaker = ChildProcess::helper({"double-fork"});
  const auto sessionMaker = ChildProcess::helper({"setsid"});
  const auto orphan = static_cast<pid_t>(orphanMaker.reportedNumbers().at(0));
  const auto leader = static_cast<pid_t>(sessionMaker.reportedNumbers().at(0));
  ProcessEnumerator enumerator(getuid());
  const auto snapshot = enumerator.snapshot(now());
  const auto* orphaned = snapshot.record(orphan);
  ASSERT_NE(orphaned, nullptr);
  // Its parent exited: it now belongs to pid 1 or to the nearest subreaper,
  // and no longer descends from the process that made it.
  EXPECT_NE(orphaned->ppid, orphanMaker.pid());
  EXPECT_FALSE(snapshot.depth(orphan, orphanMaker.pid()));
  EXPECT_EQ(orphaned->pgid, orphanMaker.pid());  // still in the test's group, so it is killed
  const auto* inSession = snapshot.record(leader);
  ASSERT_NE(inSession, nullptr);
  EXPECT_EQ(inSession->pgid, leader);
  EXPECT_FALSE(inSession->hasControllingTTY);  // a session leader, but without a terminal
  // It left the test's group, so the group kill won't reach it: end it through a
  // pidfd, which can only ever name the process this test started.
  const platform::UniqueFd pidfd(static_cast<int>(syscall(SYS_pidfd_open, leader, 0)));
  ASSERT_TRUE(pidfd);
  syscall(SYS_pidfd_send_signal, pidfd.get(), SIGKILL, nullptr, 0);
}

TEST(ProcessEnumerator, LeavesKernelThreadsOut) {
  ProcessEnumerator enumerator(getuid());
  const auto snapshot = enumerator.snapshot(now(), false);
  for (const auto& record : snapshot.records()) {
    EXPECT_NE(record.name, "kthreadd") << record.pid();
  }
  EXPECT_NE(snapshot.record(getpid()), nullptr);
  EXPECT_FALSE(snapshot.record(getpid())->cwd);  // not detailed
}

TEST(SystemProcessInspector, TellsTheSameIncarnationAndFindsChildren) {
  auto child = ChildProcess::helper({"spawn", "2"});
  const auto pids = child.reportedNumbers();
  ASSERT_EQ(pids.size(), 3u);
  const SystemProcessInspector inspector(getuid());
  const auto state = inspector.state(child.pid());
  ASSERT_TRUE(state);
  EXPECT_EQ(state->pgid, child.pid());
  EXPECT_EQ(state->path, testing::helperBinary().string());
  EXPECT_EQ(inspector.state(child.pid()), state);
  EXPECT_THAT(inspector.childPIDs(child.pid()),
              ElementsAre(static_cast<pid_t>(pids[1]), static_cast<pid_t>(pids[2])));
  const auto live = inspector.live(child.pid());
  ASSERT_TRUE(live);
  EXPECT_EQ(live->identity.startTime, state->startTime);
  EXPECT_TRUE(live->whollyOwnedBy(getuid()));
  EXPECT_EQ(live->path, testing::helperBinary().string());
  EXPECT_EQ(live->commandLine(), testing::helperBinary().string() + " spawn 2");
  child.kill();
  EXPECT_FALSE(inspector.state(child.pid()));
}

}  // namespace
}  // namespace glimmet
