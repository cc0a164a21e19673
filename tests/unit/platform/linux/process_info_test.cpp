// The process table read from crafted procfs folders (the hostile cases no
// kernel makes on demand) and from the kernel's own /proc for real processes.
#include "platform/process_info.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/fake_proc.h"
#include "support/temp_dir.h"

namespace glimmet::platform {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::FakeProc;
using testing::TempDir;
using namespace std::string_literals;

constexpr std::uint64_t kBootSeconds = FakeProc::kBootSeconds;

std::uint64_t microsPerTick() {
  return 1'000'000 / static_cast<std::uint64_t>(sysconf(_SC_CLK_TCK));
}

std::set<pid_t> sorted(const std::vector<pid_t>& pids) {
  return {pids.begin(), pids.end()};
}

TEST(FakeProcTable, ListsOnlyTheNumericFoldersAboveZero) {
  FakeProc proc;
  proc.addProcess(1, "init");
  proc.addProcess(4242, "node");
  for (const auto* name : {"0", "-3", "12abc", "net", "99999999999999999999", " 7"}) {
    fs::create_directories(proc.path(name));
  }
  proc.link("self", "4242");
  EXPECT_EQ(sorted(ProcessTable(proc.root()).allPIDs()), (std::set<pid_t>{1, 4242}));
  EXPECT_TRUE(ProcessTable(ProcRoot(proc.path("missing"))).allPIDs().empty());
}

TEST(FakeProcTable, ReadsNamesThatTryToBreakTheStatLine) {
  FakeProc proc;
  // A process names itself what it likes: the parser must find the fields after
  // the last ')' whatever the name holds.
  const std::vector<std::string> names = {"Web Content", "x) R 1 2 3 4", "two\nlines", "(((", ""};
  pid_t pid = 100;
  for (const auto& name : names) proc.addProcess(pid++, name, 250);

  const ProcessTable table(proc.root());
  pid = 100;
  for (const auto& name : names) {
    SCOPED_TRACE(name);
    const auto handle = table.open(pid);
    ASSERT_TRUE(handle);
    const auto reading = handle->read();
    ASSERT_TRUE(reading);
    EXPECT_EQ(reading->summary.pid, pid);
    EXPECT_EQ(reading->summary.name, name);
    EXPECT_EQ(reading->summary.ppid, 1);
    EXPECT_EQ(reading->summary.status, ProcessStatus::running);
    EXPECT_EQ(reading->summary.uid, 1000u);
    EXPECT_EQ(reading->summary.startTime, kBootSeconds * 1'000'000 + 250 * microsPerTick());
    EXPECT_EQ(reading->memory.resident, 2048u * 1024);
    EXPECT_EQ(reading->memory.footprint, 1024u * 1024);
    ++pid;
  }
}

TEST(FakeProcTable, RefusesSummariesItCannotTrust) {
  FakeProc proc;
  const ProcessTable table(proc.root());
  const auto readable = [&](pid_t pid) {
    const auto handle = table.open(pid);
    return handle && handle->read();
  };
  // Status without its Uid line: the owner is unknown, so no record at all.
  proc.addProcess(10, "no-uid");
  proc.write("10/status", "Name:\tno-uid\nVmRSS:\t 4 kB\n");
  EXPECT_FALSE(readable(10));
  // A zombie has no memory lines: the record stands with zero memory.
  proc.addProcess(11, "zombie");
  proc.write("11/status", "Name:\tzombie\nState:\tZ (zombie)\nUid:\t1000\t1000\t1000\t1000\n");
  const auto zombie = table.open(11)->read();
  ASSERT_TRUE(zombie);
  EXPECT_EQ(zombie->memory.resident, 0u);
  EXPECT_EQ(zombie->memory.footprint, 0u);
  // Files gone between the listing and the reads.
  proc.addProcess(12, "no-status");
  fs::remove(proc.path("12/status"));
  EXPECT_FALSE(readable(12));
  fs::create_directories(proc.path("13"));
  EXPECT_FALSE(readable(13));
  // A stat that names another pid, a kernel thread, a stat cut short.
  proc.addProcess(14, "liar");
  proc.write("14/stat", FakeProc::statLine(15, "liar", 500));
  EXPECT_FALSE(readable(14));
  proc.addProcess(16, "kworker/0:1");
  proc.write("16/stat", FakeProc::statLine(16, "kworker/0:1", 500, 0x00200040));
  EXPECT_FALSE(readable(16));
  proc.addProcess(17, "cut");
  proc.write("17/stat", FakeProc::statLine(17, "cut", 500).substr(0, 40));
  EXPECT_FALSE(readable(17));
  // procfs files are never links: one planted there is not followed.
  proc.addProcess(18, "planted");
  fs::remove(proc.path("18/stat"));
  proc.link("18/stat", "../4242/stat");
  proc.addProcess(4242, "elsewhere");
  EXPECT_FALSE(readable(18));
  // The Uid line is read wherever it is, but never past the bound on status.
  proc.addProcess(19, "padded");
  proc.write("19/status", std::string(200 * 1024, '#') + "\nUid:\t0\t0\t0\t0\n");
  EXPECT_FALSE(readable(19));
}

TEST(FakeProcTable, SplitsArgumentsAndEnvironmentAsWritten) {
  FakeProc proc;
  proc.addProcess(20, "node");
  // No final NUL (a process that rewrote its title) and an empty argument kept.
  proc.write("20/cmdline", "node\0\0--port=3000"s);
  proc.write("20/environ", "KEY=\xff\xfe\x01\x7f\0PATH=/usr/bin\0\0AFTER=gone\0"s);
  auto arguments = ProcessTable(proc.root()).open(20)->arguments();
  ASSERT_TRUE(arguments);
  EXPECT_EQ(arguments->argv, (std::vector<std::string>{"node", "", "--port=3000"}));
  EXPECT_EQ(arguments->environment,
            (std::vector<std::string>{"KEY=\xff\xfe\x01\x7f", "PATH=/usr/bin"}));

  // An environment the process won't let us read leaves the arguments readable.
  fs::remove(proc.path("20/environ"));
  arguments = ProcessTable(proc.root()).open(20)->arguments();
  ASSERT_TRUE(arguments);
  EXPECT_EQ(arguments->argv.size(), 3u);
  EXPECT_TRUE(arguments->environment.empty());
  // Without a cmdline the process counts as gone.
  fs::remove(proc.path("20/cmdline"));
  EXPECT_FALSE(ProcessTable(proc.root()).open(20)->arguments());

  // A command line far beyond what exec accepts is read only up to that bound.
  const auto limit = static_cast<std::size_t>(sysconf(_SC_ARG_MAX));
  proc.addProcess(21, "huge");
  proc.write("21/cmdline", "node\0"s + std::string(limit * 2, 'a'));
  arguments = ProcessTable(proc.root()).open(21)->arguments();
  ASSERT_TRUE(arguments);
  ASSERT_EQ(arguments->argv.size(), 2u);
  EXPECT_EQ(arguments->argv[0], "node");
  EXPECT_EQ(arguments->argv[1].size(), limit - 5);
}

TEST(FakeProcTable, ReadsDanglingAndDeletedLinks) {
  FakeProc proc;
  TempDir real;
  real.write("tool (deleted)", "#!/bin/sh\n");
  fs::create_directories(real / "project (deleted)");
  proc.addProcess(30, "node");
  proc.addProcess(31, "node");
  proc.addProcess(32, "node");
  // A target from another mount namespace (a container) does not exist here but
  // is still what the process runs in.
  proc.link("30/exe", "/opt/container/bin/node");
  proc.link("30/cwd", "/srv/app");
  // The kernel's suffix on a file that is gone.
  proc.link("31/exe", "/usr/bin/node (deleted)");
  proc.link("31/cwd", "/home/dev/removed (deleted)");
  // Files that are really named so.
  proc.link("32/exe", (real / "tool (deleted)").string());
  proc.link("32/cwd", (real / "project (deleted)").string());

  const ProcessTable table(proc.root());
  EXPECT_EQ(table.open(30)->executablePath(), "/opt/container/bin/node");
  EXPECT_EQ(table.open(30)->workingDirectory(), "/srv/app");
  EXPECT_EQ(table.open(31)->executablePath(), "/usr/bin/node");
  EXPECT_EQ(table.open(31)->workingDirectory(), std::nullopt);
  EXPECT_EQ(table.open(32)->executablePath(), (real / "tool (deleted)").string());
  EXPECT_EQ(table.open(32)->workingDirectory(), (real / "project (deleted)").string());
  proc.addProcess(33, "kthread-like");
  EXPECT_EQ(table.open(33)->executablePath(), std::nullopt);
  EXPECT_EQ(table.open(33)->workingDirectory(), std::nullopt);
}

TEST(FakeProcTable, AHandleNeverReadsTheProcessThatTookOverItsPID) {
  FakeProc proc;
  proc.addProcess(40, "old", 100);
  proc.link("40/exe", "/usr/bin/old");
  const ProcessTable table(proc.root());
  const auto old = table.open(40);
  ASSERT_TRUE(old);
  const auto before = old->read();
  ASSERT_TRUE(before);

  // The process exits and a new one gets its pid.
  fs::remove_all(proc.path("40"));
  proc.addProcess(40, "new", 900);
  proc.link("40/exe", "/usr/bin/new");
  EXPECT_FALSE(old->read());
  EXPECT_FALSE(old->arguments());
  EXPECT_FALSE(old->executablePath());
  EXPECT_TRUE(old->socketInodes().empty());

  const auto reused = table.open(40)->read();
  ASSERT_TRUE(reused);
  EXPECT_EQ(reused->summary.name, "new");
  EXPECT_EQ(reused->summary.startTime - before->summary.startTime, 800 * microsPerTick());

  fs::remove_all(proc.path("40"));
  EXPECT_FALSE(table.open(40));
}

TEST(FakeProcTable, NeverSignalsThroughACraftedFolder) {
  // The crafted folder carries our own group's id: were the pid ever used, the
  // signal (0, which only checks) would reach a real group and succeed.
  FakeProc proc;
  proc.addProcess(getpgrp(), "glimmet_unit_tests");
  const ProcessTable table(proc.root());
  const auto handle = table.open(getpgrp());
  ASSERT_TRUE(handle && handle->read());
  EXPECT_EQ(handle->signal(0), SignalDelivery::failed);
  EXPECT_EQ(handle->signalGroup(0), SignalDelivery::failed);
}

TEST(CompleteProcessName, CompletesOnlyANameTheKernelCut) {
  // The kernel keeps 15 bytes; a longer program name is found in argv[0] or the path.
  const std::optional<std::string> noPath;
  EXPECT_EQ(completeProcessName("glimmet_unit_te", {"./build/glimmet_unit_tests"}, noPath),
            "glimmet_unit_tests");
  EXPECT_EQ(completeProcessName("language_server", {"node"}, "/opt/bin/language_server_host"),
            "language_server_host");
  // A name of 14 bytes was not cut; a 15-byte one that starts neither stays.
  EXPECT_EQ(completeProcessName("language_serve", {"/opt/bin/language_server"}, noPath),
            "language_serve");
  EXPECT_EQ(completeProcessName("renamed-by-prct", {"/usr/bin/python3"}, "/usr/bin/python3.11"),
            "renamed-by-prct");
  EXPECT_EQ(completeProcessName("glimmet_unit_te", {}, noPath), "glimmet_unit_te");
}

// Real processes through the kernel's own /proc.

TEST(LiveProcTable, ReadsAHostileNameAndLinksOfARealProcess) {
  TempDir dir;
  // A copy of the helper under a name that ends like the kernel's marker, run
  // from a folder that is then removed.
  const fs::path program = dir / "helper (deleted)";
  fs::copy_file(testing::helperBinary(), program);
  fs::permissions(program, fs::perms::owner_exec, fs::perm_options::add);
  fs::create_directories(dir / "work");
  ChildProcess child =
      ChildProcess::spawn({program.string(), "name", "a) b\nc"}, {.cwd = dir / "work"});
  child.readReport();

  const ProcessTable table;
  const auto handle = table.open(child.pid());
  ASSERT_TRUE(handle);
  const auto reading = handle->read();
  ASSERT_TRUE(reading);
  EXPECT_EQ(reading->summary.name, "a) b\nc");
  EXPECT_EQ(reading->summary.ppid, getpid());
  EXPECT_EQ(reading->summary.uid, geteuid());
  EXPECT_EQ(handle->executablePath(), fs::canonical(program).string());
  EXPECT_EQ(handle->workingDirectory(), fs::canonical(dir / "work").string());
  const auto arguments = handle->arguments();
  ASSERT_TRUE(arguments);
  EXPECT_EQ(arguments->argv, (std::vector<std::string>{program.string(), "name", "a) b\nc"}));

  fs::remove(dir / "work");
  EXPECT_EQ(handle->workingDirectory(), std::nullopt);
  const std::string canonicalProgram = fs::canonical(program).string();
  fs::remove(program);
  EXPECT_EQ(handle->executablePath(), canonicalProgram);

  child.kill();
  EXPECT_FALSE(handle->read());
}

}  // namespace
}  // namespace glimmet::platform
