// glimmet companion run putting quit requests to the person, against a private
// session bus with the stand-in notification service on it: a request filed
// through glimmet mcp for a stand-in agent's session becomes a notification
// with Quit and Keep; an impostor's Quit on the same bus changes nothing; the
// service's Quit stops what the plan includes and leaves the protected child
// and the agent; Keep declines. Without a session bus the request is a line on
// the log that names glimmet requests.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "core/kill/kill_log.h"
#include "mcp_pipe_client.h"
#include "support/child_process.h"
#include "support/companion_process.h"
#include "support/isolated_home.h"
#include "support/process_alive.h"
#include "support/session_bus.h"
#include "support/started_process.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::json;
using testing::alive;
using testing::ChildProcess;
using testing::CompanionProcess;
using testing::emit;
using testing::eventually;
using ::testing::HasSubstr;
using testing::notifyCalls;
using testing::Started;

class CompanionQuitPrompts : public ::testing::Test {
 protected:
  void SetUp() override {
    std::signal(SIGPIPE, SIG_IGN);
    // No idle guesses: other tests' stand-in agents must not add notifications.
    write("settings.json", R"({"mcp": {"enabled": true}, "agentNotify": {"idleGuess": false}})");
    write("protected.json",
          R"({"userRules": [{"kind": "commandGlob", "pattern": "*keep-me-q4e*"}]})");
  }

  void write(const std::string& name, const std::string& text) {
    home_.dir().write("home/.local/share/Glimmet/" + name, text);
  }
  json entry(const std::string& id) const {
    const auto inbox = json::parse(home_.dir().read("home/.local/share/Glimmet/mcp-inbox.json"));
    for (const auto& request : inbox)
      if (request.value("id", "") == id) return request;
    return nullptr;
  }
  std::string fileRequest(pid_t session) {
    testing::MCPPipe mcp(home_);
    const auto filed = mcp.call("request_quit", {{"sessionPid", session}});
    const auto answer = json::parse(filed["content"][0]["text"].get<std::string>());
    return answer.value("requestId", "");
  }

  testing::IsolatedHome home_;
};

TEST_F(CompanionQuitPrompts, QuitFromTheServiceThatShowedItCarriesOutThePlanAndKeepDeclines) {
  if (!testing::PrivateSessionBus::available()) GTEST_SKIP() << "needs dbus-daemon";
  const testing::PrivateSessionBus bus(home_.root() / "run");
  const auto calls = home_.root() / "calls.jsonl";
  auto service = bus.startNotificationService(calls);
  auto impostor = bus.startNotificationService(home_.root() / "impostor.jsonl", true);
  home_.environment() = home_.environment().with("DBUS_SESSION_BUS_ADDRESS", bus.address());
  const std::string helper = testing::helperBinary().string();
  auto agent = ChildProcess::helper(
      {"agent", helper, "sleep", "plain-q4e", "--", helper, "sleep", "keep-me-q4e"},
      {.argv0 = "claude"});
  const Started plain(static_cast<pid_t>(agent.reportedNumbers().at(0)));
  const Started kept(static_cast<pid_t>(agent.reportedNumbers().at(1)));
  CompanionProcess companion(home_);

  const auto id = fileRequest(agent.pid());
  ASSERT_FALSE(id.empty());
  ASSERT_TRUE(eventually([&] { return notifyCalls(calls).size() == 1; }, 10s))
      << companion.errorOutput();
  const auto shown = notifyCalls(calls)[0];
  EXPECT_EQ(shown["summary"],
            "An agent asks to quit session " + std::to_string(agent.pid()) + " (Claude Code)");
  EXPECT_THAT(shown["body"].get<std::string>(), HasSubstr("Stops 1 of 3 processes"));
  EXPECT_EQ(shown["actions"], json({"quit", "Quit", "keep", "Keep"}));
  const auto notification = std::to_string(shown["id"].get<int>());

  // Only the service that showed it speaks for the person.
  emit(impostor, "action " + notification + " quit");
  std::this_thread::sleep_for(2s);
  EXPECT_TRUE(alive(plain.pid()));
  EXPECT_EQ(entry(id)["status"], "pending");

  emit(service, "action " + notification + " quit");
  ASSERT_TRUE(eventually([&] { return entry(id)["status"] == "done"; }, 15s))
      << companion.errorOutput();
  EXPECT_FALSE(alive(plain.pid()));
  EXPECT_TRUE(alive(kept.pid())) << "protected by the user's rule";
  EXPECT_TRUE(alive(agent.pid())) << "protected by default";
  const auto entries = KillLog(home_.sharedFolder()).read();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].pid, plain.pid());
  EXPECT_EQ(entries[0].trigger, KillLogEntry::Trigger::mcp);
  EXPECT_THAT(companion.errorOutput(), HasSubstr("Quit request " + id + ": "));

  // A second request, kept: declined, nothing stopped.
  const auto second = fileRequest(agent.pid());
  ASSERT_TRUE(eventually([&] { return notifyCalls(calls).size() == 2; }, 10s))
      << companion.errorOutput();
  emit(service, "action " + std::to_string(notifyCalls(calls)[1]["id"].get<int>()) + " keep");
  ASSERT_TRUE(eventually([&] { return entry(second)["status"] == "declined"; }, 10s))
      << companion.errorOutput();
  EXPECT_TRUE(alive(kept.pid()));
  EXPECT_EQ(KillLog(home_.sharedFolder()).read().size(), 1u);
}

TEST_F(CompanionQuitPrompts, WithoutADesktopTheRequestWaitsAndTheLogSaysHowToAnswerIt) {
  home_.environment() = home_.environment().without("DBUS_SESSION_BUS_ADDRESS");
  const std::string helper = testing::helperBinary().string();
  auto agent = ChildProcess::helper({"agent", helper, "sleep", "plain-q4e"}, {.argv0 = "claude"});
  const Started plain(static_cast<pid_t>(agent.reportedNumbers().at(0)));
  CompanionProcess companion(home_);

  const auto id = fileRequest(agent.pid());
  ASSERT_FALSE(id.empty());
  const auto line = "Answer it with glimmet requests answer " + id +
                    ", or decline it with glimmet requests decline " + id + ".";
  ASSERT_TRUE(
      eventually([&] { return companion.errorOutput().find(line) != std::string::npos; }, 10s))
      << companion.errorOutput();
  std::this_thread::sleep_for(2s);
  EXPECT_EQ(entry(id)["status"], "pending");
  EXPECT_TRUE(alive(plain.pid()));
  // Said once, not at every look.
  const auto said = companion.errorOutput();
  EXPECT_EQ(said.find(line), said.rfind(line)) << said;
}

}  // namespace
}  // namespace glimmet
