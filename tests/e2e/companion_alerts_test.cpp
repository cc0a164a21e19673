// glimmet companion run turning agent events into alerts, against a private
// session bus with the stand-in notification service on it: a stand-in agent
// named claude keeps a server running, its hooks say it finished and then
// that it waits for a permission, and the desktop gets the exact words.
// Without a session bus each alert is a line on the companion's standard
// error; a service that hangs costs one timeout and the alerts go on in the
// log; an edited agentNotify applies at once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <thread>

#include "support/child_process.h"
#include "support/companion_process.h"
#include "support/isolated_home.h"
#include "support/session_bus.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::CompanionProcess;
using testing::eventually;
using ::testing::HasSubstr;
using testing::heartbeatPresent;
using ::testing::Not;
using testing::notifyCalls;
using testing::occurrences;
using testing::program;

const std::string kDot = "\xC2\xB7";

// What an agent's hook runs: Claude Code pipes its payload in.
void hook(const testing::IsolatedHome& home, pid_t agent, const std::string& payload) {
  ASSERT_EQ(home.glimmet({"notify", "--agent", "claude-code", "--pid", std::to_string(agent)},
                         {.input = payload})
                .status,
            0);
}

const std::string kStop = R"({"hook_event_name": "Stop", "session_id": "s1"})";
const std::string kPermission =
    R"({"hook_event_name": "Notification", "notification_type": "permission_prompt",
        "message": "Claude needs your permission to use Bash", "session_id": "s1"})";

bool drained(const testing::IsolatedHome& home) {
  const auto events = home.sharedFolder() / "agent-events.jsonl";
  return fs::exists(events) && fs::file_size(events) == 0;
}

class CompanionAlertsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::PrivateSessionBus::available()) GTEST_SKIP() << "dbus-daemon isn't installed";
  }

  // A private session bus where systemd's user manager puts one
  // ($XDG_RUNTIME_DIR/bus), with the stand-in notification service on it.
  void startDesktop() {
    bus_.emplace(home_.root() / "run");
    service_.emplace(bus_->startNotificationService(calls_));
  }

  void writeAgentNotify(const std::string& rules) const {
    home_.dir().write("home/.local/share/Glimmet/settings.json",
                      R"({"agentNotify": )" + rules + "}");
  }

  testing::IsolatedHome home_;
  const fs::path calls_ = home_.root() / "calls.jsonl";
  std::optional<testing::PrivateSessionBus> bus_;
  std::optional<ChildProcess> service_;
};

TEST_F(CompanionAlertsTest, AgentEventsBecomeDesktopAlertsWithTheExactWords) {
  // Found without DBUS_SESSION_BUS_ADDRESS, as a companion started as a user
  // unit finds it.
  startDesktop();
  writeAgentNotify(R"({"approvalDelay": 2})");

  auto agent = ChildProcess::spawn({program(home_, "claude").string(), "agent",
                                    testing::helperBinary().string(), "listen", "127.0.0.1"});
  ASSERT_FALSE(agent.readReport().empty());
  CompanionProcess companion(home_);
  ASSERT_TRUE(eventually([&] { return heartbeatPresent(home_); }, 10s)) << companion.errorOutput();
  // The companion sees the session at its next look.
  std::this_thread::sleep_for(1500ms);

  hook(home_, agent.pid(), kStop);
  ASSERT_TRUE(eventually([&] { return notifyCalls(calls_).size() == 1; }, 10s))
      << companion.errorOutput();
  const auto finished = notifyCalls(calls_)[0];
  EXPECT_EQ(finished["app"], "glimmet");
  EXPECT_EQ(finished["summary"], "Claude Code finished");
  // The server the agent keeps running is what its turn leaves behind.
  const std::string body = finished["body"];
  EXPECT_TRUE(std::regex_match(body, std::regex("under a minute " + kDot +
                                                " 1 process left behind \\([0-9.]+ (KB|MB)\\)\\.")))
      << body;
  EXPECT_EQ(finished["actions"], nlohmann::json::array());

  hook(home_, agent.pid(), kPermission);
  ASSERT_TRUE(eventually([&] { return notifyCalls(calls_).size() == 2; }, 10s))
      << companion.errorOutput();
  const auto approval = notifyCalls(calls_)[1];
  EXPECT_EQ(approval["summary"], "Claude Code needs your approval");
  EXPECT_EQ(approval["body"],
            "Claude needs your permission to use Bash. " + kDot + " Waiting under a minute.");

  // Once each, and each said on the log.
  std::this_thread::sleep_for(2s);
  EXPECT_EQ(notifyCalls(calls_).size(), 2u);
  const auto log = companion.errorOutput();
  EXPECT_THAT(log, HasSubstr("Alert shown: Claude Code finished: under a minute " + kDot));
  EXPECT_THAT(log, HasSubstr("Alert shown: Claude Code needs your approval: Claude needs your "
                             "permission to use Bash. " +
                             kDot + " Waiting under a minute."));
  EXPECT_TRUE(drained(home_));
  ASSERT_TRUE(companion.signal(SIGTERM));
  EXPECT_EQ(companion.waitForExit(10s), 0);
}

TEST_F(CompanionAlertsTest, ASessionWithoutHooksIsGuessedDoneOnceAfterItWorkedAndWentQuiet) {
  startDesktop();
  writeAgentNotify(R"({"idleAfter": 1})");
  CompanionProcess companion(home_);
  ASSERT_TRUE(eventually([&] { return heartbeatPresent(home_); }, 10s)) << companion.errorOutput();
  // An agent no other test runs, since every session of this user counts: its
  // one tool runs for two seconds and ends, so it works, then goes quiet.
  auto agent =
      ChildProcess::spawn({program(home_, "opencode").string(), "agent", "/bin/sleep", "2"});
  ASSERT_FALSE(agent.readReport().empty());
  const auto guesses = [&] {
    std::vector<nlohmann::json> found;
    for (auto& call : notifyCalls(calls_))
      if (call["summary"] == "OpenCode looks done (a guess)") found.push_back(call);
    return found;
  };
  ASSERT_TRUE(eventually([&] { return guesses().size() == 1; }, 10s)) << companion.errorOutput();
  EXPECT_EQ(guesses()[0]["body"],
            "Quiet for under a minute, so it may be finished or waiting on you. Install hooks "
            "for an exact alert.");
  std::this_thread::sleep_for(2500ms);
  EXPECT_EQ(guesses().size(), 1u) << "once per quiet spell";
}

TEST_F(CompanionAlertsTest, WithoutASessionBusAnAlertIsALineOnStandardError) {
  CompanionProcess companion(home_);
  ASSERT_TRUE(eventually([&] { return heartbeatPresent(home_); }, 10s)) << companion.errorOutput();
  // Lines that aren't events, before the one that is, cost nothing but themselves.
  std::ofstream(home_.sharedFolder() / "agent-events.jsonl", std::ios::binary)
      << "\xff\xfe{\"kind\":\n[1,2]\n"
      << std::string(100'000, 'x') << "\n";
  hook(home_, 99999, kStop);
  const std::string line = "Alert: Claude Code finished: under a minute, nothing left behind.\n";
  ASSERT_TRUE(
      eventually([&] { return companion.errorOutput().find(line) != std::string::npos; }, 10s))
      << companion.errorOutput();
  hook(home_, 99999, kStop);
  ASSERT_TRUE(eventually([&] { return occurrences(companion.errorOutput(), line) == 2; }, 10s))
      << companion.errorOutput();
  EXPECT_EQ(occurrences(companion.errorOutput(),
                        "Alerts are written here, not shown on the desktop: there is no session "
                        "bus (DBUS_SESSION_BUS_ADDRESS isn't set and there is no "
                        "$XDG_RUNTIME_DIR/bus).\n"),
            1u)
      << companion.errorOutput();

  // Finished alerts turned off in the settings: the next event is drained
  // and said nowhere.
  writeAgentNotify(R"({"finished": false})");
  std::this_thread::sleep_for(1500ms);
  hook(home_, 99999, kStop);
  ASSERT_TRUE(eventually([&] { return drained(home_); }, 10s));
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(occurrences(companion.errorOutput(), line), 2u) << companion.errorOutput();
}

TEST_F(CompanionAlertsTest, AServiceThatHangsCostsOneTimeoutAndTheAlertsGoOnInTheLog) {
  startDesktop();
  home_.environment() = home_.environment().with("DBUS_SESSION_BUS_ADDRESS", bus_->address());
  CompanionProcess companion(home_);
  ASSERT_TRUE(eventually([&] { return heartbeatPresent(home_); }, 10s)) << companion.errorOutput();
  hook(home_, 99999, kStop);
  ASSERT_TRUE(eventually([&] { return notifyCalls(calls_).size() == 1; }, 10s))
      << companion.errorOutput();

  ASSERT_EQ(::kill(service_->pid(), SIGSTOP), 0);
  // Two sessions: one session's events taken together would give one alert.
  hook(home_, 99998, kStop);
  hook(home_, 99997, kStop);
  const std::string line = "Alert: Claude Code finished: under a minute, nothing left behind.\n";
  ASSERT_TRUE(eventually([&] { return occurrences(companion.errorOutput(), line) >= 1; }, 10s))
      << companion.errorOutput();
  hook(home_, 99999, kStop);
  ASSERT_TRUE(eventually([&] { return occurrences(companion.errorOutput(), line) == 3; }, 10s))
      << companion.errorOutput();
  EXPECT_EQ(occurrences(companion.errorOutput(), "didn't answer within 3 s"), 1u)
      << companion.errorOutput();
  EXPECT_EQ(notifyCalls(calls_).size(), 1u);
  // It still looks every second and ends at once when asked.
  ASSERT_TRUE(companion.signal(SIGTERM));
  EXPECT_EQ(companion.waitForExit(5s), 0);
  EXPECT_THAT(companion.errorOutput(), Not(HasSubstr("The alerts failed")));
}

}  // namespace
}  // namespace glimmet
