// glimmet kill and glimmet reap against real process trees the test starts:
// only those are ever signalled.
#include <arpa/inet.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/kill/kill_log.h"
#include "core/process/system_process_inspector.h"
#include "platform/unique_fd.h"
#include "support/child_process.h"
#include "support/isolated_home.h"
#include "support/process_alive.h"
#include "support/run_process.h"
#include "support/worktree_fixture.h"

namespace glimmet {
namespace {

using testing::ChildProcess;
using ::testing::HasSubstr;
using ::testing::StartsWith;

using testing::alive;

bool canBind(int port) {
  const platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM, 0));
  const int one = 1;
  setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return ::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

// A copy of `program` at `path` that anyone can run: the build tree may lie
// in a folder other users can't enter.
std::filesystem::path copyOf(const std::filesystem::path& program,
                             const std::filesystem::path& path) {
  std::filesystem::copy_file(program, path);
  std::filesystem::permissions(path, std::filesystem::perms(0755));
  return path;
}

// Ghosts may be as young as the test's own processes; the session grace is short.
struct ReapHome : testing::IsolatedHome {
  ReapHome() {
    dir().write("home/.local/share/Glimmet/settings.json",
                R"({"ghostMinimumAge": 0, "reaper": {"sessionGrace": 0}})");
  }
};

TEST(Kill, AServerWithAWorkerIsStoppedByPortAndThePortIsFree) {
  testing::IsolatedHome home;
  auto server = ChildProcess::helper({"listen-fork", "127.0.0.1"});
  const auto numbers = server.reportedNumbers();
  const int port = static_cast<int>(numbers.at(0));
  const auto worker = static_cast<pid_t>(numbers.at(1));

  const auto result = home.glimmet({"kill", ":" + std::to_string(port)});
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_THAT(result.out, StartsWith("Freed :" + std::to_string(port) + " and "));
  EXPECT_FALSE(alive(server.pid()));
  EXPECT_FALSE(alive(worker));
  EXPECT_TRUE(canBind(port));

  const auto entries = KillLog(home.sharedFolder()).read();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].pid, server.pid());
  EXPECT_EQ(entries[0].signal, "SIGTERM");
  EXPECT_EQ(entries[0].result, KillLogEntry::Result::stopped);
  EXPECT_EQ(entries[0].trigger, KillLogEntry::Trigger::cli);
  EXPECT_THAT(entries[0].command, HasSubstr("listen-fork"));
}

// The server as a developer runs it: the distribution's python3 from /usr/bin,
// in a linked worktree. The log names the worktree and branch as ls does.
TEST(Kill, APythonServerInALinkedWorktreeIsLoggedWithItsWorktreeAndBranch) {
  if (!std::filesystem::exists("/usr/bin/python3")) GTEST_SKIP() << "no /usr/bin/python3";
  testing::IsolatedHome home;
  testing::writeRepositoryWithWorktree(home);
  auto server = ChildProcess::spawn(
      {"/usr/bin/python3", "-u", "-m", "http.server", "0", "--bind", "127.0.0.1"},
      {.cwd = home.home() / "trees/shop-login"});
  // "Serving HTTP on 127.0.0.1 port 40123 (http://127.0.0.1:40123/) ..."
  const auto& banner = server.readReport();
  const auto at = banner.find(" port ");
  ASSERT_NE(at, std::string::npos) << banner;
  const auto port = std::stoi(banner.substr(at + 6));

  const auto result = home.glimmet({"kill", ":" + std::to_string(port)});
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_THAT(result.out, StartsWith("Freed :" + std::to_string(port) + " and "));
  EXPECT_FALSE(alive(server.pid()));
  EXPECT_TRUE(canBind(port));

  const auto entries = KillLog(home.sharedFolder()).read();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].pid, server.pid());
  EXPECT_EQ(entries[0].repo, "~/code/shop");
  EXPECT_EQ(entries[0].worktree, "shop-login");
  EXPECT_EQ(entries[0].branch, "feature/login");
  EXPECT_THAT(entries[0].command, HasSubstr("http.server"));
}

TEST(Kill, AProcessIgnoringSIGTERMGetsSIGKILLAfterTheGrace) {
  testing::IsolatedHome home;
  auto stubborn = ChildProcess::helper({"ignore-term"});
  const auto result = home.glimmet({"kill", "--grace", "1", std::to_string(stubborn.pid())});
  EXPECT_EQ(result.status, 0);
  EXPECT_THAT(result.out, HasSubstr("(SIGTERM was ignored, SIGKILL used)."));
  EXPECT_FALSE(alive(stubborn.pid()));
  EXPECT_EQ(KillLog(home.sharedFolder()).read().at(0).signal, "SIGTERM, SIGKILL");
}

TEST(Kill, AForcedKillStopsTheWholeGroupWithSIGKILLOnly) {
  testing::IsolatedHome home;
  auto tree = ChildProcess::helper({"spawn", "3"});
  const auto pids = tree.reportedNumbers();
  const auto result = home.glimmet({"kill", "--force", std::to_string(tree.pid())});
  EXPECT_EQ(result.status, 0) << result.out;
  for (const auto pid : pids) EXPECT_FALSE(alive(static_cast<pid_t>(pid))) << pid;
  EXPECT_EQ(KillLog(home.sharedFolder()).read().at(0).signal, "SIGKILL");
}

TEST(Kill, RefusesWhatIsNotOursToStopAndSaysWhy) {
  testing::IsolatedHome home;
  EXPECT_EQ(home.glimmet({"kill", "3000x"}).status, 64);
  const auto missing = home.glimmet({"kill", "999999999"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "No process with PID 999999999.\n");
  const auto system = home.glimmet({"kill", "1"});
  EXPECT_EQ(system.status, 3);
  EXPECT_EQ(system.out, "Couldn't stop PID 1: it's a system process.\n");

  auto guarded = ChildProcess::helper({"child-as", "keeper-marker-7f3"});
  const auto keeper = static_cast<pid_t>(guarded.reportedNumbers().at(1));
  ASSERT_EQ(home.glimmet({"protect", "*keeper-marker-7f3*"}).status, 0);
  const auto protectedRun = home.glimmet({"kill", std::to_string(keeper)});
  EXPECT_EQ(protectedRun.status, 3);
  EXPECT_THAT(protectedRun.out, StartsWith("Couldn't stop PID " + std::to_string(keeper) + ": "));
  EXPECT_TRUE(alive(keeper));

  if (::geteuid() == 0) {
    auto theirs = ChildProcess::helper({"sleep"}, {.cwd = "/", .uid = 65534});
    const auto refused = home.glimmet({"kill", "--force", std::to_string(theirs.pid())});
    EXPECT_EQ(refused.status, 3);
    EXPECT_EQ(refused.out,
              "Couldn't stop PID " + std::to_string(theirs.pid()) + ": owned by another user.\n");
    EXPECT_TRUE(alive(theirs.pid()));
  }
}

// The member ignores SIGTERM by exec'ing into a program named postgres: from
// then on it is a local database, and the SIGKILL after the grace leaves it be.
TEST(Kill, AMemberThatBecomesADatabaseDuringTheGraceIsNotSIGKILLed) {
  testing::IsolatedHome home;
  const auto postgres = copyOf(testing::helperBinary(), home.root() / "postgres");
  auto tree = ChildProcess::helper({"exec-on-term", postgres.string(), "postgres", "sleep"});
  const auto member = static_cast<pid_t>(tree.reportedNumbers().at(1));

  const auto result = home.glimmet({"kill", "--grace", "1", std::to_string(tree.pid())});
  EXPECT_EQ(result.status, 2) << result.out;
  EXPECT_EQ(result.out, "Couldn't stop everything in PID " + std::to_string(tree.pid()) + ".\n");
  EXPECT_EQ(tree.readReport(), std::to_string(member));  // the exec'd program started
  EXPECT_TRUE(alive(member));
  EXPECT_EQ(SystemProcessInspector(::geteuid()).live(member)->name, "postgres");
  const auto entries = KillLog(home.sharedFolder()).read();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].result, KillLogEntry::Result::partlyStopped);
  EXPECT_EQ(entries[0].signal, "SIGTERM");
}

// glimmet runs as an ordinary user against a tree of that user's processes; one
// member, during the grace period, execs a setuid-root program. Its real uid
// stays the user's, so the kernel would let the SIGKILL through: glimmet must
// not send it.
TEST(Kill, AnOrdinaryUserNeverSIGKILLsAMemberThatBecameSetuidRoot) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a setuid-root program";
  testing::IsolatedHome home;
  struct statvfs volume {};
  if (::statvfs(home.root().c_str(), &volume) != 0 || (volume.f_flag & ST_NOSUID) != 0)
    GTEST_SKIP() << "the temporary folder is on a nosuid mount";
  constexpr uid_t kNobody = 65534;
  const auto helper = copyOf(testing::helperBinary(), home.root() / "helper");
  const auto glimmet = copyOf(GLIMMET_BINARY, home.root() / "glimmet");
  const auto setuidRoot = copyOf(testing::helperBinary(), home.root() / "setuid-helper");
  ASSERT_EQ(::chown(setuidRoot.c_str(), 0, 0), 0);
  ASSERT_EQ(::chmod(setuidRoot.c_str(), 04755), 0);
  // nobody's own home, where its kill log goes.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(home.home()))
    ASSERT_EQ(::lchown(entry.path().c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(::lchown(home.home().c_str(), kNobody, kNobody), 0);

  auto tree = ChildProcess::spawn(
      {helper.string(), "exec-on-term", setuidRoot.string(), "setuid-helper", "sleep"},
      {.cwd = "/", .uid = kNobody});
  ASSERT_FALSE(tree.readReport().empty());
  const auto member = static_cast<pid_t>(tree.reportedNumbers().at(1));

  const auto result =
      testing::runProcess({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                           glimmet.string(), "kill", "--grace", "1", std::to_string(tree.pid())},
                          home.environment());
  EXPECT_EQ(result.status, 2) << result.out << result.err;
  EXPECT_EQ(result.out, "Couldn't stop everything in PID " + std::to_string(tree.pid()) + ".\n");
  EXPECT_EQ(tree.readReport(), std::to_string(member));  // the setuid program started
  ASSERT_TRUE(alive(member));
  const auto live = SystemProcessInspector(0).live(member);
  ASSERT_TRUE(live);
  EXPECT_EQ(live->realUID, kNobody);
  EXPECT_EQ(live->effectiveUID, 0u);
  // The log is nobody's, in nobody's folder, which glimmet as root won't read:
  // its one line is decoded here.
  const auto lines = home.dir().read("home/.local/share/Glimmet/killlog.jsonl");
  ASSERT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1);
  const auto entry = KillLogEntry::decodeLine(lines.substr(0, lines.size() - 1));
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->result, KillLogEntry::Result::partlyStopped);
  EXPECT_EQ(entry->signal, "SIGTERM");
  // The test, as root, stops what it started when `tree` goes.
}

TEST(Reap, AnOrphanedDevServerIsListedThenReapedOnlyWhenAsked) {
  ReapHome home;
  auto parent = ChildProcess::helper({"double-fork"}, {.argv0 = "vite"});
  const auto orphan = static_cast<pid_t>(parent.reportedNumbers().at(0));
  const auto ghosts = home.glimmet({"ghosts"});
  if (ghosts.out.find(std::to_string(orphan)) == std::string::npos)
    GTEST_SKIP() << "orphans here go to a subreaper the tool doesn't know";

  // Default rules reap exact origins only.
  const auto none = home.glimmet({"reap", "--older-than", "0"});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.out, "No ghosts to reap.\n");

  const auto dry =
      home.glimmet({"reap", "--dry-run", "--include-dev-servers", "--older-than", "0"});
  EXPECT_EQ(dry.status, 0);
  EXPECT_THAT(dry.out, HasSubstr("Would reap vite double-fork (PID " + std::to_string(orphan) +
                                 ", Orphaned dev server (terminal closed))"));
  EXPECT_TRUE(alive(orphan));
  const auto logged = KillLog(home.sharedFolder()).read();
  ASSERT_FALSE(logged.empty());
  EXPECT_TRUE(logged.back().isDryRun());
  EXPECT_GT(*logged.back().wouldFreeBytes, 0u);

  const auto reaped = home.glimmet({"reap", "--include-dev-servers", "--older-than", "0"});
  EXPECT_EQ(reaped.status, 0) << reaped.out;
  EXPECT_THAT(reaped.out, HasSubstr("Reaped vite double-fork (PID " + std::to_string(orphan)));
  EXPECT_FALSE(alive(orphan));
  EXPECT_EQ(KillLog(home.sharedFolder()).read().back().result, KillLogEntry::Result::stopped);
}

TEST(Reap, ASessionIsFoundAboveTheGivenPidOrTheCommandSaysThereIsNone) {
  ReapHome home;
  const auto lonely = ChildProcess::helper({"sleep"});
  const auto none = home.glimmet({"reap", "--session", std::to_string(lonely.pid())});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.out,
            "No agent session found at or above PID " + std::to_string(lonely.pid()) + ".\n");
  EXPECT_EQ(home.glimmet({"reap", "--after-exit"}).status, 64);
}

TEST(Reap, AfterExitWaitsForTheSessionToEnd) {
  ReapHome home;
  auto agent = ChildProcess::helper({"child-as", "bash"}, {.argv0 = "claude"});
  const auto shell = static_cast<pid_t>(agent.reportedNumbers().at(1));
  std::atomic<bool> finished = false;
  testing::RunResult result;
  std::thread reap([&] {
    result = home.glimmet({"reap", "--session", std::to_string(shell), "--after-exit"});
    finished = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  const bool waited = !finished;
  agent.kill();
  reap.join();
  EXPECT_TRUE(waited) << "reap returned while the session was alive: " << result.out;
  EXPECT_EQ(result.status, 1) << result.out;
  EXPECT_EQ(result.out, "No ghosts to reap.\n");
}

}  // namespace
}  // namespace glimmet
