// glimmet stop --idle against dev servers the test starts: the plan, the refusal
// without a terminal, a declined and a typed yes on a real pty. Other servers of
// this machine may be in the plan too, so every check looks at the test's own.
#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "core/kill/kill_log.h"
#include "core/process/system_process_inspector.h"
#include "support/child_process.h"
#include "support/isolated_home.h"
#include "support/process_alive.h"
#include "support/schema.h"

namespace glimmet {
namespace {

using testing::ChildProcess;
using ::testing::HasSubstr;

using testing::alive;

const nlohmann::json* rowOf(const nlohmann::json& rows, pid_t pid) {
  for (const auto& row : rows)
    if (row["pid"] == pid) return &row;
  return nullptr;
}

// A vite server of the user's, a protected one, and (as root) one of another user.
struct IdleServers {
  testing::IsolatedHome home;
  ChildProcess idle = ChildProcess::helper({"listen", "127.0.0.1"}, {.argv0 = "vite"});
  ChildProcess guarded =
      ChildProcess::helper({"listen", "127.0.0.1", "guarded-marker-5c1"}, {.argv0 = "vite"});
  std::optional<ChildProcess> theirs;
  std::string port = idle.report();

  IdleServers() {
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));  // servers are listed at 2 s
    EXPECT_EQ(home.glimmet({"protect", "*guarded-marker-5c1*"}).status, 0);
    if (::geteuid() == 0)
      theirs.emplace(ChildProcess::helper({"listen", "127.0.0.1"},
                                          {.cwd = "/", .uid = 65534, .argv0 = "vite"}));
  }
};

TEST(StopIdle, TheJsonPlanListsOnlyOwnOldEnoughServersAndStopsNothing) {
  IdleServers servers;
  const auto young = servers.home.glimmet({"stop", "--idle", "--json"});
  EXPECT_EQ(testing::schemaProblems("stop", young.out), "");
  const auto youngPlan = nlohmann::json::parse(young.out);
  EXPECT_EQ(youngPlan["minimumAgeSeconds"], 2700);
  EXPECT_EQ(rowOf(youngPlan["stop"], servers.idle.pid()), nullptr);
  if (youngPlan["stop"].empty()) {
    EXPECT_EQ(young.status, 1);
    EXPECT_EQ(youngPlan["summary"], "Nothing idle to stop.");
  }

  const auto all = servers.home.glimmet({"stop", "--idle", "--older-than", "0", "--json"});
  EXPECT_EQ(all.status, 0);
  EXPECT_EQ(testing::schemaProblems("stop", all.out), "");
  const auto plan = nlohmann::json::parse(all.out);
  EXPECT_EQ(plan["minimumAgeSeconds"], 0);
  const auto* mine = rowOf(plan["stop"], servers.idle.pid());
  ASSERT_NE(mine, nullptr) << all.out;
  EXPECT_EQ((*mine)["name"], "Vite");
  EXPECT_EQ((*mine)["ports"], nlohmann::json::array({std::stoi(servers.port)}));
  const auto* guarded = rowOf(plan["skipped"], servers.guarded.pid());
  ASSERT_NE(guarded, nullptr) << all.out;
  EXPECT_EQ((*guarded)["protected"], "Protected by your rule");
  if (servers.theirs) {
    EXPECT_EQ(rowOf(plan["stop"], servers.theirs->pid()), nullptr);
    EXPECT_EQ(rowOf(plan["skipped"], servers.theirs->pid()), nullptr);
  }
  EXPECT_TRUE(alive(servers.idle.pid()));
}

TEST(StopIdle, WithoutATerminalItRefusesAndStopsNothing) {
  IdleServers servers;
  for (const std::string input : {"yes\n", ""}) {
    const auto piped =
        servers.home.glimmet({"stop", "--idle", "--older-than", "0"}, {.input = input});
    EXPECT_EQ(piped.status, 3);
    EXPECT_THAT(piped.out, HasSubstr("Up at least 0 min:\n"));
    EXPECT_THAT(piped.out, HasSubstr("  :" + servers.port + "  Vite  "));
    EXPECT_THAT(piped.out, HasSubstr("Left alone:\n  Vite  Protected by your rule\n"));
    EXPECT_THAT(piped.out,
                HasSubstr("Stop them? Type yes: \nstop needs a yes typed at a terminal. An "
                          "assistant can't confirm this.\n"));
  }
  EXPECT_TRUE(alive(servers.idle.pid()));
  EXPECT_TRUE(KillLog(servers.home.sharedFolder()).read().empty());
}

TEST(StopIdle, AtATerminalAnythingButYesDeclines) {
  IdleServers servers;
  const auto declined = servers.home.glimmet({"stop", "--idle", "--older-than", "0"},
                                             {.input = "yess\n", .onTerminal = true});
  EXPECT_EQ(declined.status, 1);
  EXPECT_THAT(declined.out, HasSubstr("Nothing stopped."));
  EXPECT_TRUE(alive(servers.idle.pid()));
}

TEST(StopIdle, ATypedYesStopsTheIdleServerAndLeavesTheProtectedOne) {
  IdleServers servers;
  // A yes stops every planned server: never run it while the plan holds one of
  // this machine's own.
  const auto plan = nlohmann::json::parse(
      servers.home.glimmet({"stop", "--idle", "--older-than", "0", "--json"}).out);
  if (plan["stop"].size() != 1)
    GTEST_SKIP() << "this user has other dev servers running: " << plan["stop"].dump();
  const auto result = servers.home.glimmet({"stop", "--idle", "--older-than", "0"},
                                           {.input = " YES \n", .onTerminal = true});
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_THAT(result.out, HasSubstr("Freed :" + servers.port + " and "));
  EXPECT_FALSE(alive(servers.idle.pid()));
  EXPECT_TRUE(alive(servers.guarded.pid()));
  if (servers.theirs) {
    EXPECT_TRUE(alive(servers.theirs->pid()));
  }

  bool logged = false;
  for (const auto& entry : KillLog(servers.home.sharedFolder()).read()) {
    if (entry.pid != servers.idle.pid()) continue;
    logged = true;
    EXPECT_EQ(entry.result, KillLogEntry::Result::stopped);
    EXPECT_EQ(entry.trigger, KillLogEntry::Trigger::cli);
  }
  EXPECT_TRUE(logged);
}

}  // namespace
}  // namespace glimmet
