#include "logic/agents/agent_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace glimmet {
namespace {

using std::chrono::seconds;
using ::testing::ElementsAre;

constexpr uid_t kUser = 501;
const auto kNow = std::chrono::system_clock::time_point(seconds(1'800'000'000));

TrackedProcess process(pid_t pid, pid_t ppid, std::string name, std::string commandLine = "") {
  TrackedProcess out;
  out.pid = pid;
  out.ppid = ppid;
  out.uid = kUser;
  out.name = name;
  out.path = "/home/me/.local/bin/" + name;
  out.commandLine = commandLine.empty() ? name : commandLine;
  out.start = kNow - seconds(30);
  out.startTime = static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(out.start.time_since_epoch()).count());
  return out;
}

TrackedProcess agent(pid_t pid, pid_t ppid, std::string name = "claude",
                     std::string agentName = "Claude Code") {
  auto out = process(pid, ppid, name);
  out.role = ProcessRole::agent;
  out.agentName = agentName;
  return out;
}

std::vector<pid_t> childPIDs(const AgentSession& session) {
  std::vector<pid_t> out;
  for (const auto& child : session.children) out.push_back(child.pid);
  return out;
}

std::vector<AgentSession> build(const std::vector<TrackedProcess>& processes) {
  return AgentSessionBuilder::build(processes, kUser, kNow, systemProcessTable());
}

TEST(AgentSessionBuilder, ANestedAgentAndItsTreeBelongToTheOuterSession) {
  auto outer = agent(1000, 900);
  auto shell = process(1001, 1000, "zsh");
  auto inner = agent(1002, 1001, "codex", "Codex");
  auto server = process(1003, 1002, "node", "node server.js");
  server.ports = {5173, 3000};
  server.footprint = 200;
  outer.footprint = 100;
  outer.ports = {3000};
  const auto sessions = build({outer, shell, inner, server});
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0].agent, "Claude Code");
  EXPECT_THAT(childPIDs(sessions[0]), ElementsAre(1001, 1002, 1003));
  EXPECT_EQ(sessions[0].footprint, 300u);
  EXPECT_THAT(sessions[0].ports, ElementsAre(3000, 5173));
}

TEST(AgentSessionBuilder, AReparentedProcessStaysWhileItsRecordedAgentLives) {
  auto root = agent(1000, 900);
  auto adopted = process(2000, 1, "node", "node vite");
  adopted.recordedAgentPID = 1000;
  adopted.recordedAgentAlive = true;
  auto staleRecord = process(2001, 1, "node");
  staleRecord.recordedAgentPID = 1000;  // a later process reusing the agent's pid
  auto foreign = adopted;
  foreign.pid = 2002;
  foreign.uid = 0;
  const auto sessions = build({adopted, root, staleRecord, foreign});
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_THAT(childPIDs(sessions[0]), ElementsAre(2000));
}

TEST(AgentSessionBuilder, ADetachedHelperJoinsTheFirstLiveSessionOfItsAgent) {
  auto claude = agent(1000, 900);
  auto codex = agent(1100, 900, "codex", "Codex");
  auto launched = process(1101, 1100, "codex", "codex app-server daemon pid-update-loop");
  launched.helperOf = "Codex";
  auto daemon = process(2000, 1, "codex", "codex app-server --listen unix:// --managed-daemon");
  daemon.helperOf = "Codex";
  auto server = process(2001, 2000, "python3", "python3 -m http.server");
  server.ports = {8000};
  auto orphanedOther = process(2100, 1, "opencode", "opencode serve");
  orphanedOther.helperOf = "OpenCode";
  const auto sessions = build({claude, codex, launched, daemon, server, orphanedOther});
  ASSERT_EQ(sessions.size(), 2u);
  EXPECT_TRUE(sessions[0].children.empty()) << "another agent's daemon is not Claude's";
  EXPECT_THAT(childPIDs(sessions[1]), ElementsAre(1101, 2000, 2001));
  EXPECT_THAT(sessions[1].ports, ElementsAre(8000));
  // With no session of its agent it joins none, and is no session of its own.
  EXPECT_TRUE(build({daemon, server}).empty());
}

TEST(AgentSessionBuilder, SystemAndForeignProcessesNeverRootOrJoinASession) {
  auto systemRoot = agent(99, 1);
  auto excludedName = agent(1000, 1, "gnome-shell");
  auto excludedPath = agent(1001, 1);
  excludedPath.path = "/usr/sbin/claude";
  auto foreignRoot = agent(1002, 1);
  foreignRoot.uid = 0;
  auto noName = agent(1003, 1);
  noName.agentName.reset();
  auto ide = agent(1004, 1);
  ide.role = ProcessRole::ide;
  EXPECT_TRUE(build({systemRoot, excludedName, excludedPath, foreignRoot, noName, ide}).empty());

  auto root = agent(1100, 1);
  auto low = process(50, 1100, "low");
  auto binary = process(1101, 1100, "systemd-run");
  binary.path = "/usr/libexec/systemd-run";
  auto others = process(1102, 1100, "node");
  others.uid = 0;
  auto mine = process(1103, 1102, "node");  // below a foreign process, still in the tree
  const auto sessions = build({root, low, binary, others, mine});
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_THAT(childPIDs(sessions[0]), ElementsAre(1103));
}

// Debian's interpreters live in /usr/bin: a server an agent runs with them is the
// user's work, with its port in the session.
TEST(AgentSessionBuilder, AnInterpreterFromUsrBinIsAChildWithItsPort) {
  auto root = agent(1000, 1);
  auto python = process(1001, 1000, "python3", "/usr/bin/python3 -m http.server 0");
  python.path = "/usr/bin/python3.11";
  python.ports = {8000};
  auto node = process(1002, 1000, "node", "/usr/bin/node server.js");
  node.path = "/usr/bin/node";
  const auto sessions = build({root, python, node});
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_THAT(childPIDs(sessions[0]), ElementsAre(1001, 1002));
  EXPECT_EQ(sessions[0].children[0].kind, SessionChildKind::devServer);
  EXPECT_THAT(sessions[0].ports, ElementsAre(8000));
}

TEST(AgentSessionBuilder, ParentLoopsAndDuplicatePIDsEndTheWalks) {
  auto a = agent(1000, 1001);
  auto b = process(1001, 1000, "node");
  auto duplicate = agent(1000, 1, "codex", "Codex");
  const auto sessions = build({a, b, duplicate});
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0].agent, "Claude Code");
  EXPECT_THAT(childPIDs(sessions[0]), ElementsAre(1001));
}

TEST(AgentSessionBuilder, ChildKindsFollowTheFirstRuleThatApplies) {
  auto kind = [](std::string commandLine, std::vector<std::uint16_t> ports = {},
                 std::optional<std::string> framework = std::nullopt) {
    auto child = process(2000, 1000, "node", commandLine);
    child.ports = ports;
    child.framework = framework;
    return AgentSessionBuilder::kindOf(child);
  };
  EXPECT_EQ(kind("npx @ModelContextProtocol/server-fs", {3000}), SessionChildKind::mcp);
  EXPECT_EQ(kind("node github-MCP-server"), SessionChildKind::mcp);
  EXPECT_EQ(kind("node vitest"), SessionChildKind::testRunner);
  EXPECT_EQ(kind("node vitest", {5173}), SessionChildKind::devServer);
  EXPECT_EQ(kind("node vite", {}, "Vite"), SessionChildKind::devServer);
  EXPECT_EQ(kind("cargo test --all"), SessionChildKind::testRunner);
  EXPECT_EQ(kind("chrome --headless=new"), SessionChildKind::browser);
  EXPECT_EQ(kind("node build.js"), SessionChildKind::other);
  auto byPath = process(2000, 1000, "x", "x");
  byPath.path = "/opt/Chromium.app/x";
  EXPECT_EQ(AgentSessionBuilder::kindOf(byPath), SessionChildKind::browser);
}

TEST(AgentSessionBuilder, ActivityFollowsTheBusiestProcessAndTheAgentsAge) {
  using enum SessionActivity;
  EXPECT_EQ(AgentSessionBuilder::activityOf({}, 119), working);
  EXPECT_EQ(AgentSessionBuilder::activityOf({}, 120), waiting);
  EXPECT_EQ(AgentSessionBuilder::activityOf({}, 100000), waiting);
  EXPECT_EQ(AgentSessionBuilder::activityOf({0.2, 0.9}, 600), idle);
  EXPECT_EQ(AgentSessionBuilder::activityOf({0.9}, 599), waiting);
  EXPECT_EQ(AgentSessionBuilder::activityOf({1.0}, 600), waiting);
  EXPECT_EQ(AgentSessionBuilder::activityOf({0.1, 5.0}, 600), working);

  auto root = agent(1000, 1);
  root.start = kNow - seconds(600);
  root.cpuPercent = 0.5;
  auto child = process(1001, 1000, "node");
  child.cpuPercent = 0.25;
  auto unknown = process(1002, 1000, "node");
  const auto sessions = build({root, child, unknown});
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0].activity, idle);
  EXPECT_EQ(sessions[0].cpuPercent, 0.75);
  EXPECT_FALSE(build({agent(1000, 1)})[0].cpuPercent.has_value());
}

TEST(AgentSessionBuilder, TheProjectComesFromTheRepositoryOrElseTheFolder) {
  auto root = agent(1000, 1);
  root.cwd = "/home/me/Dev/web/";
  EXPECT_EQ(build({root})[0].project, "web");
  root.project = "shop";
  EXPECT_EQ(build({root})[0].project, "shop");
  root.project = "";
  root.cwd = "/";
  EXPECT_EQ(build({root})[0].project, std::nullopt);
  root.cwd.reset();
  EXPECT_EQ(build({root})[0].project, std::nullopt);
}

}  // namespace
}  // namespace glimmet
