// glimmet companion run against real processes: a stand-in agent named claude
// starts a server through nohup and a language server, then exits, and the
// companion has recorded where they came from; its heartbeat lets notify
// record while it runs and not after SIGTERM; one runs per user; a shared
// folder that turns read-only is said once and recovered from; with the
// reaper on for session ends, what an ended session left is reaped after its
// grace and nothing else.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "core/ghosts/ancestry_recorder.h"
#include "core/kill/kill_log.h"
#include "platform/unique_fd.h"
#include "support/child_process.h"
#include "support/companion_process.h"
#include "support/isolated_home.h"
#include "support/process_alive.h"
#include "support/started_process.h"

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
using testing::occurrences;
using testing::program;

constexpr uid_t kNobody = 65534;

using testing::alive;
using testing::Started;

// An agent named claude that has started a server through nohup and a
// language server, each held until the test ends.
struct AgentWithServers {
  ChildProcess agent;
  Started server;
  Started languageServer;

  explicit AgentWithServers(const testing::IsolatedHome& home,
                            std::optional<uid_t> uid = std::nullopt)
      : agent(ChildProcess::spawn({program(home, "claude").string(), "agent", "/usr/bin/nohup",
                                   testing::helperBinary().string(), "listen", "127.0.0.1", "--",
                                   program(home, "typescript-language-server").string(), "sleep"},
                                  {.uid = uid})),
        server(reported(0)),
        languageServer(reported(1)) {}

 private:
  // A report that never came throws here, failing the test.
  pid_t reported(std::size_t index) {
    if (agent.report().empty()) agent.readReport();
    return static_cast<pid_t>(agent.reportedNumbers().at(index));
  }
};

std::size_t lineCount(const fs::path& file) {
  std::ifstream stream(file);
  std::size_t lines = 0;
  for (std::string line; std::getline(stream, line);) ++lines;
  return lines;
}

// The records of ancestry.json as the tool reads them, by pid.
std::map<pid_t, AncestryRecorder::Record> recordsByPID(const testing::IsolatedHome& home) {
  std::ifstream file(home.sharedFolder() / "ancestry.json");
  const std::string text{std::istreambuf_iterator<char>(file), {}};
  const auto json = nlohmann::json::parse(text, nullptr, false);
  std::map<pid_t, AncestryRecorder::Record> records;
  if (!json.is_array()) return records;
  const auto ancestry = AncestryRecorder::fromJson(text);
  for (const auto& item : json) {
    const ProcessIdentity identity{item.value("pid", 0), item.value("startTime", std::uint64_t{0})};
    if (const auto* record = ancestry.recordFor(identity)) records[identity.pid] = *record;
  }
  return records;
}

TEST(CompanionRun, RecordsWhatAnAgentLeftSoGhostsShowItsExactOrigin) {
  testing::IsolatedHome home;
  home.dir().write("home/.local/share/Glimmet/settings.json", R"({"ghostMinimumAge": 0})");
  CompanionProcess companion(home);
  ASSERT_TRUE(eventually([&] { return heartbeatPresent(home); }, 10s)) << companion.errorOutput();

  AgentWithServers session(home);
  auto& agent = session.agent;
  const auto& server = session.server;
  const auto& languageServer = session.languageServer;
  // They live over a second under the agent (two looks, with room for a
  // loaded machine), which then exits and leaves them.
  std::this_thread::sleep_for(2s);
  ASSERT_EQ(agent.waitForExit(5), 0);

  // Within 3 s of the agent's exit both hold the chain they had under it.
  const auto underTheAgent = [&](pid_t pid) {
    const auto records = recordsByPID(home);
    const auto found = records.find(pid);
    return found != records.end() && !found->second.chain.empty() &&
           found->second.chain[0].pid == agent.pid() && found->second.chain[0].root &&
           found->second.chain[0].root->agent == "Claude Code";
  };
  EXPECT_TRUE(eventually(
      [&] { return underTheAgent(server.pid()) && underTheAgent(languageServer.pid()); }, 3s))
      << companion.errorOutput();

  const auto ghosts = home.glimmet({"ghosts", "--json"});
  ASSERT_EQ(ghosts.status, 0) << ghosts.out;
  const auto document = nlohmann::json::parse(ghosts.out);
  int exact = 0;
  for (const auto& ghost : document["ghosts"]) {
    if (ghost["pid"] != server.pid() && ghost["pid"] != languageServer.pid()) continue;
    EXPECT_EQ(ghost.value("originKind", ""), "exact") << ghost.dump();
    EXPECT_EQ(ghost.value("agent", ""), "Claude Code");
    EXPECT_EQ(ghost.value("sessionPid", 0), agent.pid());
    ++exact;
  }
  EXPECT_EQ(exact, 2) << ghosts.out;
  EXPECT_THAT(companion.errorOutput(),
              HasSubstr("Companion started (PID " + std::to_string(companion.pid()) + ")"));
}

TEST(CompanionRun, NotifyRecordsWhileItRunsAndNothingOnceSIGTERMEndedIt) {
  testing::IsolatedHome home;
  // Hostile leftovers of an earlier run: a FIFO nobody writes to, a corrupt state.
  fs::create_directories(home.sharedFolder());
  ASSERT_EQ(::mkfifo((home.sharedFolder() / "ancestry.json").c_str(), 0600), 0);
  home.dir().write("home/.local/share/Glimmet/companion.json", std::string(100'000, '['));
  const std::string stop = R"({"hook_event_name": "Stop", "session_id": "s1"})";
  const auto events = home.sharedFolder() / "agent-events.jsonl";

  CompanionProcess companion(home);
  ASSERT_TRUE(eventually([&] { return heartbeatPresent(home); }, 10s)) << companion.errorOutput();
  ASSERT_EQ(home.glimmet({"notify", "--agent", "claude-code"}, {.input = stop}).status, 0);
  // Recorded: it waits in the file, or the companion has taken it out and
  // said it as an alert already.
  EXPECT_TRUE(eventually(
      [&] {
        return lineCount(events) == 1u ||
               companion.errorOutput().find("Alert: Claude Code finished") != std::string::npos;
      },
      5s))
      << "the companion's heartbeat says somebody is there";

  ASSERT_TRUE(companion.signal(SIGTERM));
  EXPECT_EQ(companion.waitForExit(5s), 0);
  EXPECT_FALSE(heartbeatPresent(home)) << "taken away at once";
  EXPECT_TRUE(fs::exists(home.sharedFolder() / "companion.json")) << "kept for the next run";
  EXPECT_THAT(companion.errorOutput(), HasSubstr("Companion stopped (SIGTERM)."));
  const auto recorded = lineCount(events);
  ASSERT_EQ(home.glimmet({"notify", "--agent", "claude-code"}, {.input = stop}).status, 0);
  EXPECT_EQ(lineCount(events), recorded) << "nobody is there to show it";

  // The lock went with it: the next one starts, and SIGINT ends it as well.
  CompanionProcess next(home);
  ASSERT_TRUE(eventually([&] { return heartbeatPresent(home); }, 10s)) << next.errorOutput();
  ASSERT_TRUE(next.signal(SIGINT));
  EXPECT_EQ(next.waitForExit(5s), 0);
  EXPECT_THAT(next.errorOutput(), HasSubstr("Companion stopped (SIGINT)."));
}

TEST(CompanionRun, ASecondOneIsRefusedWithTheFirstOnesPID) {
  testing::IsolatedHome home;
  CompanionProcess first(home);
  ASSERT_TRUE(eventually([&] { return heartbeatPresent(home); }, 10s)) << first.errorOutput();
  const auto second = home.glimmet({"companion", "run"}, {.timeoutSeconds = 10});
  EXPECT_EQ(second.status, 3);
  EXPECT_EQ(second.out,
            "The companion is already running (PID " + std::to_string(first.pid()) + ").\n");
  EXPECT_TRUE(first.signal(0)) << "the first one runs on";
  EXPECT_TRUE(heartbeatPresent(home));
}

TEST(CompanionRun, TwoThousandProcessesInOneSecondAreAllRecordedAndItRunsOn) {
  testing::IsolatedHome home;
  CompanionProcess companion(home);
  ASSERT_TRUE(eventually([&] { return heartbeatPresent(home); }, 10s)) << companion.errorOutput();
  auto agent = ChildProcess::spawn({program(home, "claude").string(), "agent",
                                    testing::helperBinary().string(), "spawn", "2000"});
  ASSERT_FALSE(agent.readReport().empty());
  // The agent stays while they are read: each of them lives under it.
  EXPECT_TRUE(eventually([&] { return recordsByPID(home).size() >= 2001; }, 20s))
      << recordsByPID(home).size() << " records\n"
      << companion.errorOutput();
  agent.kill();
  EXPECT_TRUE(companion.signal(0)) << "still running";
  ASSERT_TRUE(companion.signal(SIGTERM));
  EXPECT_EQ(companion.waitForExit(10s), 0);
  EXPECT_THAT(companion.errorOutput(), Not(HasSubstr("Couldn't"))) << companion.errorOutput();
}

TEST(CompanionRun, AFolderThatTurnsReadOnlyIsSaidOnceAndNoRecordIsLost) {
  if (::geteuid() != 0) GTEST_SKIP() << "runs the companion as another user";
  testing::IsolatedHome home;
  fs::create_directories(home.sharedFolder());
  for (const auto& entry : fs::recursive_directory_iterator(home.home()))
    ASSERT_EQ(::lchown(entry.path().c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(::chown(home.home().c_str(), kNobody, kNobody), 0);
  CompanionProcess companion(home, kNobody);
  ASSERT_TRUE(eventually([&] { return heartbeatPresent(home); }, 10s)) << companion.errorOutput();

  // Root ignores permissions, so the folder is read-only to the companion only.
  ASSERT_EQ(::chmod(home.sharedFolder().c_str(), 0500), 0);
  auto agent = ChildProcess::spawn(
      {program(home, "claude").string(), "agent", testing::helperBinary().string(), "sleep"},
      {.uid = kNobody});
  ASSERT_FALSE(agent.readReport().empty());
  const auto child = std::to_string(agent.reportedNumbers().at(0));
  const auto failure = "ancestry.json: Permission denied";
  EXPECT_TRUE(
      eventually([&] { return companion.errorOutput().find(failure) != std::string::npos; }, 5s))
      << companion.errorOutput();
  std::this_thread::sleep_for(3s);
  EXPECT_EQ(occurrences(companion.errorOutput(), failure), 1u) << companion.errorOutput();

  ASSERT_EQ(::chmod(home.sharedFolder().c_str(), 0700), 0);
  EXPECT_TRUE(eventually(
      [&] {
        return companion.errorOutput().find("Wrote ancestry.json again.") != std::string::npos;
      },
      5s))
      << companion.errorOutput();
  const auto records = recordsByPID(home);
  const bool childRecorded = records.contains(static_cast<pid_t>(std::stol(child)));
  EXPECT_TRUE(childRecorded) << "held while the folder was read-only, written once it wasn't";
  EXPECT_TRUE(companion.signal(SIGTERM));
  EXPECT_EQ(companion.waitForExit(5s), 0) << companion.errorOutput();
  EXPECT_THAT(companion.errorOutput(), Not(HasSubstr("mcp-heartbeat.json:")));
}

TEST(CompanionRun, ReapsWhatAnEndedSessionLeftAfterItsGraceAndLeavesABystander) {
  // The companion reaps what any session of its user left: run as a user of its
  // own, it can reach nothing that other tests running beside this one started.
  if (::geteuid() != 0) GTEST_SKIP() << "runs the companion as another user";
  testing::IsolatedHome home;
  home.dir().write("home/.local/share/Glimmet/settings.json",
                   R"({"reaper": {"enabled": true, "atLogin": false, "onSchedule": false,
                                  "onSessionEnd": true, "sessionGrace": 1}})");
  for (const auto& entry : fs::recursive_directory_iterator(home.home()))
    ASSERT_EQ(::lchown(entry.path().c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(::chown(home.home().c_str(), kNobody, kNobody), 0);
  auto bystanderParent = ChildProcess::helper({"double-fork"}, {.uid = kNobody, .argv0 = "vite"});
  const Started bystander(static_cast<pid_t>(bystanderParent.reportedNumbers().at(0)));
  CompanionProcess companion(home, kNobody);
  ASSERT_TRUE(eventually([&] { return heartbeatPresent(home); }, 10s)) << companion.errorOutput();

  AgentWithServers session(home, kNobody);
  // The companion sees the session live and its children under it first.
  std::this_thread::sleep_for(2s);
  ASSERT_EQ(session.agent.waitForExit(5), 0);

  const auto reaped = "Reaped after session PID " + std::to_string(session.agent.pid()) +
                      " ended: stopped 2 of 2 ghosts.";
  EXPECT_TRUE(
      eventually([&] { return companion.errorOutput().find(reaped) != std::string::npos; }, 10s))
      << companion.errorOutput();
  EXPECT_FALSE(alive(session.server.pid()));
  EXPECT_FALSE(alive(session.languageServer.pid()));
  EXPECT_TRUE(alive(bystander.pid()));

  // glimmet reads only its own user's shared files: stopped, they go back to root.
  ASSERT_TRUE(companion.signal(SIGTERM));
  EXPECT_EQ(companion.waitForExit(5s), 0) << companion.errorOutput();
  for (const auto& entry : fs::recursive_directory_iterator(home.home()))
    ASSERT_EQ(::lchown(entry.path().c_str(), 0, 0), 0);
  ASSERT_EQ(::chown(home.home().c_str(), 0, 0), 0);
  const auto entries = KillLog(home.sharedFolder()).read();
  ASSERT_EQ(entries.size(), 2u);
  for (const auto& entry : entries) {
    EXPECT_EQ(entry.trigger, KillLogEntry::Trigger::sessionEnd);
    EXPECT_EQ(entry.result, KillLogEntry::Result::stopped);
    EXPECT_EQ(entry.origin, "Claude Code");
  }

  const auto status = home.glimmet({"companion", "status", "--json"});
  ASSERT_EQ(status.status, 0) << status.out;
  const auto lastReap =
      nlohmann::json::parse(status.out, nullptr, false).value("lastReap", nlohmann::json());
  EXPECT_EQ(lastReap.value("trigger", ""), "sessionEnd") << status.out;
  EXPECT_EQ(lastReap.value("stopped", 0), 2);
}

}  // namespace
}  // namespace glimmet
