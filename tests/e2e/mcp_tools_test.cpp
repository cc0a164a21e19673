// The safety and request_quit tools against real processes: the test's own,
// one of another user (uid 65534), a protected one, and a system one. Nothing
// is ever signalled by the server; accepted requests land in the inbox.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <nlohmann/json.hpp>
#include <thread>

#include "core/output/iso8601.h"
#include "mcp_pipe_client.h"
#include "support/child_process.h"
#include "support/isolated_home.h"

namespace glimmet {
namespace {

using nlohmann::json;
using testing::ChildProcess;

class MCPTools : public ::testing::Test {
 protected:
  void SetUp() override {
    std::signal(SIGPIPE, SIG_IGN);
    write("settings.json", json{{"mcp", {{"enabled", true}}}});
  }
  void write(const std::string& name, const json& value) {
    home_.dir().write("home/.local/share/Glimmet/" + name, value.dump());
  }
  json inbox() const {
    const auto path = home_.sharedFolder() / "mcp-inbox.json";
    if (!std::filesystem::exists(path)) return json::array();
    return json::parse(home_.dir().read("home/.local/share/Glimmet/mcp-inbox.json"));
  }
  static json answer(const json& result) {
    return json::parse(result["content"][0]["text"].get<std::string>());
  }

  testing::IsolatedHome home_;
};

TEST_F(MCPTools, SafetyJudgesRealProcesses) {
  auto mine = ChildProcess::helper({"sleep"});
  testing::MCPPipe mcp(home_);

  const auto own = answer(mcp.call("safety", {{"pid", mine.pid()}}));
  EXPECT_EQ(own["verdict"], "askFirst");
  EXPECT_EQ(
      own["reason"],
      "Glimmet will ask you through the companion or glimmet requests before it stops anything.");
  EXPECT_THAT(own["name"].get<std::string>(), ::testing::StartsWith("glimmet_process"));
  EXPECT_EQ(answer(mcp.call("safety", {{"pid", 1}}))["reason"],
            "System process. Glimmet leaves it alone.");
  EXPECT_EQ(answer(mcp.call("safety", {{"pid", mcp.pid()}}))["reason"], "Glimmet itself.");
  const auto gone = answer(mcp.call("safety", {{"pid", 4'000'000}}));
  EXPECT_EQ(
      gone,
      json({{"name", ""}, {"reason", "Nothing of yours matches."}, {"verdict", "leaveAlone"}}));
  EXPECT_EQ(answer(mcp.call("safety", {{"sessionPid", mine.pid()}}))["reason"],
            "Nothing of yours matches.");
  const auto missing = mcp.call("safety", {{"pid", std::to_string(mine.pid())}});
  EXPECT_EQ(missing["isError"], true);
  EXPECT_EQ(missing["content"][0]["text"], "Say which pid, port or sessionPid.");
  EXPECT_TRUE(mine.waitForExit(0) == std::nullopt) << "the server must never signal";
}

TEST_F(MCPTools, AnotherUsersProcessIsRefusedAndNothingIsFiled) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to start another user's process";
  auto theirs = ChildProcess::helper({"name", "theirs"}, {.uid = 65534});
  testing::MCPPipe mcp(home_);
  EXPECT_EQ(
      answer(mcp.call("safety", {{"pid", theirs.pid()}})),
      json({{"name", "theirs"}, {"reason", "Owned by another user."}, {"verdict", "leaveAlone"}}));
  const auto refused = mcp.call("request_quit", {{"pid", theirs.pid()}, {"note", "please"}});
  EXPECT_EQ(refused["isError"], false);
  EXPECT_EQ(
      answer(refused),
      json({{"accepted", false}, {"reason", "Owned by another user."}, {"verdict", "leaveAlone"}}));
  EXPECT_EQ(answer(mcp.call("request_quit", {{"pid", 1}}))["accepted"], false);
  EXPECT_EQ(inbox(), json::array());
}

TEST_F(MCPTools, AProtectedProcessIsRefused) {
  write("protected.json", {{"userRules", {{{"kind", "commandGlob"}, {"pattern", "*keep-me*"}}}}});
  auto kept = ChildProcess::helper({"name", "keep-me"});
  testing::MCPPipe mcp(home_);
  const auto refused = answer(mcp.call("request_quit", {{"pid", kept.pid()}}));
  EXPECT_EQ(refused["accepted"], false);
  EXPECT_EQ(refused["reason"], "Protected by your rule. Glimmet will not stop it.");
  EXPECT_EQ(inbox(), json::array());
}

TEST_F(MCPTools, AnAcceptedRequestWaitsInTheInboxForThePerson) {
  auto mine = ChildProcess::helper({"sleep"});
  testing::MCPPipe mcp(home_);
  const auto closed = answer(mcp.call(
      "request_quit", {{"pid", mine.pid()}, {"note", "stale server --token s3cr3t-value"}}));
  EXPECT_EQ(closed["accepted"], true);
  EXPECT_EQ(closed["appRunning"], false);
  EXPECT_EQ(closed["message"],
            "The companion isn't running. The request waits until you answer it with glimmet "
            "requests or start the companion, and nothing stops until you confirm.");

  write("mcp-heartbeat.json", {{"time", formatIso8601(std::chrono::system_clock::now())}});
  const auto open = answer(mcp.call("request_quit", {{"sessionPid", mine.pid()}}));
  EXPECT_EQ(open["accepted"], false);  // no live session has that pid
  const auto again = answer(mcp.call("request_quit", {{"pid", mine.pid()}}));
  EXPECT_EQ(again["appRunning"], true);
  EXPECT_EQ(again["message"],
            "The companion will ask you on your desktop, or answer with glimmet requests. "
            "Nothing stops until you confirm.");

  const auto requests = inbox();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0]["id"], closed["requestId"]);
  EXPECT_THAT(requests[0]["id"].get<std::string>(),
              ::testing::MatchesRegex(
                  "[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}"));
  EXPECT_EQ(requests[0]["kind"], "pid");
  EXPECT_EQ(requests[0]["pid"], mine.pid());
  EXPECT_EQ(requests[0]["status"], "pending");
  EXPECT_EQ(requests[0]["note"], "stale server --token \xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2");
  EXPECT_TRUE(parseIso8601(requests[0]["time"].get<std::string>()));
  EXPECT_EQ(requests[1]["id"], again["requestId"]);
  EXPECT_TRUE(mine.waitForExit(0) == std::nullopt) << "filing a request stops nothing";
}

TEST_F(MCPTools, PortsAreJudgedByTheirListener) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to start another user's listener";
  auto mine = ChildProcess::helper({"listen", "127.0.0.1"});
  auto theirs = ChildProcess::helper({"listen", "127.0.0.1"}, {.uid = 65534});
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));  // listed once 2 s old
  testing::MCPPipe mcp(home_);
  const auto own = answer(mcp.call("safety", {{"port", mine.reportedNumbers().at(0)}}));
  EXPECT_EQ(own["verdict"], "askFirst");
  const auto other = answer(mcp.call("safety", {{"port", theirs.reportedNumbers().at(0)}}));
  EXPECT_EQ(other["reason"], "Owned by another user.");
  EXPECT_EQ(answer(mcp.call("safety", {{"port", 70000}}))["reason"], "Nothing of yours matches.");
}

TEST_F(MCPTools, StatusAndAgentsAnswerWithTheCommandsDocumentsAndSessionsAskFirst) {
  auto agent = ChildProcess::helper({"child-as", "vitest", "run"}, {.argv0 = "claude"});
  testing::MCPPipe mcp(home_);
  const auto status = mcp.call("status", json::object());
  EXPECT_EQ(status["isError"], false);
  const auto summary = answer(status);
  EXPECT_EQ(summary["command"], "status");
  EXPECT_GE(summary["agentSessions"], 1);

  const auto agents = answer(mcp.call("agents", json::object()));
  EXPECT_EQ(agents["command"], "agents");
  bool listed = false;
  for (const auto& session : agents["sessions"]) listed |= session["pid"] == agent.pid();
  EXPECT_TRUE(listed) << agents.dump();

  const auto verdict = answer(mcp.call("safety", {{"sessionPid", agent.pid()}}));
  EXPECT_EQ(verdict["verdict"], "askFirst");
  EXPECT_EQ(verdict["reason"],
            "This is a live agent session. Glimmet will ask you before quitting it and "
            "everything it started.");
  EXPECT_TRUE(agent.waitForExit(0) == std::nullopt);
}

}  // namespace
}  // namespace glimmet
