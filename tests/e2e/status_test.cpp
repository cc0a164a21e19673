// glimmet status over a real stand-in agent and a real ghost. Other processes of
// this machine may add to the counts, so the test checks its own share.
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
using ::testing::MatchesRegex;

TEST(Status, CountsSessionsAndGhostsAndSaysWhatStoppingFrees) {
  testing::IsolatedHome home;
  home.dir().write("home/.local/share/Glimmet/settings.json", R"({"ghostMinimumAge": 0})");
  auto agent = ChildProcess::helper({"sleep"}, {.argv0 = "claude"});
  auto leftHelper = ChildProcess::helper({"double-fork"}, {.argv0 = "/opt/tools/indexer"});
  const auto left = static_cast<pid_t>(leftHelper.reportedNumbers().at(0));
  ProcessEnumerator enumerator(::geteuid());
  const auto snapshot = enumerator.snapshot(std::chrono::system_clock::now());
  const auto* record = snapshot.record(left);
  ASSERT_NE(record, nullptr);
  home.dir().write("home/.local/share/Glimmet/ancestry.json",
                   R"([{"pid": )" + std::to_string(left) + R"(, "startTime": )" +
                       std::to_string(record->identity.startTime) +
                       R"(, "recordedAt": 1, "chain": [{"pid": 999999, "startTime": 1,
                       "name": "claude", "root": {"id": "claude-code", "agent": "Claude Code",
                       "kind": "agent"}}]}])");

  const auto json = home.glimmet({"status", "--json"});
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(testing::schemaProblems("status", json.out), "");
  const auto document = nlohmann::json::parse(json.out);
  EXPECT_GE(document["ghosts"], 1);
  EXPECT_GE(document["agentSessions"], 1);
  EXPECT_GT(document["memoryBytes"], 0);
  EXPECT_THAT(document["summary"].get<std::string>(),
              ::testing::StartsWith("Stopping these frees "));

  const auto text = home.glimmet({"status"});
  EXPECT_EQ(text.status, 0);
  EXPECT_THAT(text.out, MatchesRegex("[0-9]+ ghosts?, [0-9]+ dev servers?, [0-9]+ agent sessions?\n"
                                     "Stopping these frees [^\n]+\\.\n"));
}

}  // namespace
}  // namespace glimmet
