// The session-end hook's own command line against a real stand-in agent (the
// test helper run under the name claude): what the session started, detached
// or not, is reaped once it exits; a bystander and another live session's
// child stay up.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <chrono>
#include <thread>

#include "core/kill/kill_log.h"
#include "core/process/system_process_inspector.h"
#include "support/child_process.h"
#include "support/isolated_home.h"
#include "support/process_alive.h"
#include "support/started_process.h"

namespace glimmet {
namespace {

using testing::ChildProcess;
using ::testing::HasSubstr;
using testing::Started;

using testing::alive;

TEST(SessionEndReap, TheHookReapsWhatTheEndedSessionLeftAndNothingElse) {
  testing::IsolatedHome home;
  // The usual minimum ghost age stays: the session's leftovers are reaped however young.
  home.dir().write("home/.local/share/Glimmet/settings.json", R"({"reaper": {"sessionGrace": 0}})");
  const std::string helper = testing::helperBinary().string();

  // A server detached with setsid (as nohup and daemons do) and a language server.
  auto agent = ChildProcess::helper(
      {"agent", "setsid", helper, "listen", "127.0.0.1", "--", helper, "sleep"},
      {.argv0 = "claude"});
  const Started server(static_cast<pid_t>(agent.reportedNumbers().at(0)));
  const Started languageServer(static_cast<pid_t>(agent.reportedNumbers().at(1)));
  auto otherAgent = ChildProcess::helper({"agent", helper, "sleep"}, {.argv0 = "claude"});
  const Started otherChild(static_cast<pid_t>(otherAgent.reportedNumbers().at(0)));
  auto bystanderParent = ChildProcess::helper({"double-fork"}, {.argv0 = "vite"});
  const Started bystander(static_cast<pid_t>(bystanderParent.reportedNumbers().at(0)));

  testing::RunResult result;
  std::thread hook([&] {
    result = home.glimmet({"reap", "--session", std::to_string(agent.pid()), "--after-exit"},
                          {.timeoutSeconds = 30});
  });
  // The hook sees the session alive at least once before it ends.
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  EXPECT_EQ(agent.waitForExit(5), 0);
  hook.join();

  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_THAT(result.out, HasSubstr("(PID " + std::to_string(server.pid()) + ", Claude Code)"));
  EXPECT_THAT(result.out,
              HasSubstr("(PID " + std::to_string(languageServer.pid()) + ", Claude Code)"));
  EXPECT_FALSE(alive(server.pid()));
  EXPECT_FALSE(alive(languageServer.pid()));
  EXPECT_TRUE(alive(otherChild.pid())) << "another live session's child";
  EXPECT_TRUE(alive(bystander.pid()));

  const auto entries = KillLog(home.sharedFolder()).read();
  ASSERT_EQ(entries.size(), 2u);
  for (const auto& entry : entries) {
    EXPECT_EQ(entry.trigger, KillLogEntry::Trigger::sessionEnd);
    EXPECT_EQ(entry.result, KillLogEntry::Result::stopped);
    EXPECT_EQ(entry.rule, "Quit what that session started and left behind, after 0 s");
  }
}

}  // namespace
}  // namespace glimmet
