// glimmet agents against real processes: a stand-in agent (the test helper run
// under an agent's name) with real children, a process it started that was
// re-parented since, and a ghost whose recorded agent is gone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "core/process/process_enumerator.h"
#include "support/child_process.h"
#include "support/isolated_home.h"
#include "support/schema.h"

namespace glimmet {
namespace {

using testing::ChildProcess;
using ::testing::HasSubstr;

struct AgentsHome : testing::IsolatedHome {
  // No minimum age, so that processes the test just started can be ghosts.
  AgentsHome() {
    dir().write("home/.local/share/Glimmet/settings.json", R"({"ghostMinimumAge": 0})");
  }

  // An ancestry.json entry saying `process` was started under the agent `agentPID`.
  static std::string record(const ProcessIdentity& process, pid_t agentPID,
                            std::uint64_t agentStart) {
    return R"({"pid": )" + std::to_string(process.pid) + R"(, "startTime": )" +
           std::to_string(process.startTime) + R"(, "recordedAt": 786000000, "chain": [
      {"pid": )" +
           std::to_string(agentPID) + R"(, "startTime": )" + std::to_string(agentStart) +
           R"(, "name": "claude",
       "root": {"id": "claude-code", "agent": "Claude Code", "kind": "agent"}}]})";
  }
  void writeAncestry(const std::vector<std::string>& records) const {
    std::string text = "[";
    for (const auto& entry : records) text += (text.size() > 1 ? "," : "") + entry;
    dir().write("home/.local/share/Glimmet/ancestry.json", text + "]");
  }
};

ProcessIdentity identityOf(pid_t pid) {
  ProcessEnumerator enumerator(::geteuid());
  const auto snapshot = enumerator.snapshot(std::chrono::system_clock::now());
  const auto* record = snapshot.record(pid);
  if (record == nullptr) throw std::runtime_error("process " + std::to_string(pid) + " is gone");
  return record->identity;
}

pid_t orphan(ChildProcess& helper) {
  return static_cast<pid_t>(helper.reportedNumbers().at(0));
}

const nlohmann::json* withPID(const nlohmann::json& list, pid_t pid) {
  for (const auto& entry : list)
    if (entry["pid"] == pid) return &entry;
  return nullptr;
}

TEST(Agents, ASessionShowsWhatItStartedAndANestedAgentJoinsIt) {
  AgentsHome home;
  auto agent = ChildProcess::helper({"child-as", "vitest", "run"}, {.argv0 = "claude"});
  auto nested = ChildProcess::helper({"child-as", "codex"}, {.argv0 = "claude"});
  const auto runner = static_cast<pid_t>(agent.reportedNumbers().at(1));
  const auto codex = static_cast<pid_t>(nested.reportedNumbers().at(1));

  const auto json = home.glimmet({"agents", "--json"});
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(testing::schemaProblems("agents", json.out), "");
  const auto document = nlohmann::json::parse(json.out);
  const auto* session = withPID(document["sessions"], agent.pid());
  ASSERT_NE(session, nullptr) << json.out;
  EXPECT_EQ((*session)["agent"], "Claude Code");
  EXPECT_EQ((*session)["activity"], "working");  // young, and no CPU figures
  const auto* child = withPID((*session)["started"], runner);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ((*child)["kind"], "testRunner");
  // An agent started by an agent is part of the outer session, not one of its own.
  EXPECT_EQ(withPID(document["sessions"], codex), nullptr);
  const auto* outer = withPID(document["sessions"], nested.pid());
  ASSERT_NE(outer, nullptr);
  EXPECT_NE(withPID((*outer)["started"], codex), nullptr);

  const auto text = home.glimmet({"agents"});
  EXPECT_EQ(text.status, 0);
  EXPECT_THAT(text.out, HasSubstr("Claude Code  pid " + std::to_string(agent.pid()) + "  "));
  EXPECT_THAT(text.out,
              HasSubstr("\n  " + (*child)["name"].get<std::string>() + "  testRunner  \n"));
}

TEST(Agents, AReparentedChildStaysAndAnOrphanOfADeadAgentIsLeftBehind) {
  AgentsHome home;
  auto agent = ChildProcess::helper({"sleep"}, {.argv0 = "claude"});
  auto adoptedHelper = ChildProcess::helper({"double-fork"}, {.argv0 = "node"});
  auto leftHelper = ChildProcess::helper({"double-fork"}, {.argv0 = "/opt/tools/indexer"});
  const auto adopted = orphan(adoptedHelper);
  const auto left = orphan(leftHelper);
  home.writeAncestry(
      {AgentsHome::record(identityOf(adopted), agent.pid(), identityOf(agent.pid()).startTime),
       AgentsHome::record(identityOf(left), 999999, 1)});

  const auto json = home.glimmet({"agents", "--json"});
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(testing::schemaProblems("agents", json.out), "");
  const auto document = nlohmann::json::parse(json.out);
  const auto* session = withPID(document["sessions"], agent.pid());
  ASSERT_NE(session, nullptr) << json.out;
  EXPECT_NE(withPID((*session)["started"], adopted), nullptr) << json.out;
  EXPECT_EQ(withPID(document["leftBehind"], adopted), nullptr);
  const auto* ghost = withPID(document["leftBehind"], left);
  ASSERT_NE(ghost, nullptr) << json.out;
  EXPECT_EQ((*ghost)["origin"], "Claude Code");
  EXPECT_EQ((*ghost)["command"], "/opt/tools/indexer double-fork");

  const auto text = home.glimmet({"agents"});
  EXPECT_THAT(text.out, HasSubstr("\nLeft behind\n"));
  EXPECT_THAT(text.out, HasSubstr("  pid " + std::to_string(left) +
                                  "  /opt/tools/indexer double-fork  Claude Code\n"));

  // Once the agent is gone, the process it started is a ghost of its own.
  agent.kill();
  const auto after = nlohmann::json::parse(home.glimmet({"agents", "--json"}).out);
  EXPECT_EQ(withPID(after["sessions"], agent.pid()), nullptr);
  EXPECT_NE(withPID(after["leftBehind"], adopted), nullptr);
}

TEST(Agents, WithoutSignaturesThereAreNoSessionsAndNothingFails) {
  testing::IsolatedHome home;
  home.dir().write("bad-signatures.json", "{\"version\": 1, \"agentRoots\": [");
  home.environment() =
      home.environment().with("GLIMMET_SIGNATURES", (home.root() / "bad-signatures.json").string());
  auto agent = ChildProcess::helper({"sleep"}, {.argv0 = "claude"});
  const auto json = home.glimmet({"agents", "--json"});
  EXPECT_EQ(json.status, 1);
  EXPECT_EQ(testing::schemaProblems("agents", json.out), "");
  const auto text = home.glimmet({"agents"});
  EXPECT_EQ(text.status, 1);
  EXPECT_EQ(text.out, "No agent sessions, and nothing left behind.\n");
}

}  // namespace
}  // namespace glimmet
