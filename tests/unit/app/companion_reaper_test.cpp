// The companion's reaper against real processes the test starts: a stand-in
// agent (the test helper run as claude) whose children outlive it with their
// origin recorded in ancestry.json, as the companion records it.
#include "app/companion_reaper.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "core/kill/kill_log.h"
#include "core/process/process_enumerator.h"
#include "support/child_process.h"
#include "support/isolated_home.h"
#include "support/process_alive.h"
#include "support/started_process.h"

namespace glimmet {
namespace {

using testing::alive;
using testing::ChildProcess;

ProcessIdentity identityOf(pid_t pid) {
  const auto snapshot =
      ProcessEnumerator(::geteuid()).snapshot(std::chrono::system_clock::now(), false);
  const auto* record = snapshot.record(pid);
  if (record == nullptr) throw std::runtime_error("no process " + std::to_string(pid));
  return record->identity;
}

// A process recorded as started by the Claude Code session rooted at `agent`.
nlohmann::json recordUnder(const ProcessIdentity& process, const ProcessIdentity& agent) {
  return {{"pid", process.pid},
          {"startTime", process.startTime},
          {"recordedAt", 786000000.25},
          {"chain",
           {{{"pid", agent.pid},
             {"startTime", agent.startTime},
             {"name", "claude"},
             {"root", {{"id", "claude-code"}, {"agent", "Claude Code"}, {"kind", "agent"}}}}}}};
}

// A session that starts a worker and a process the user protected, and a ghost
// that another session, ended long before the companion started, left behind.
struct Scene {
  testing::IsolatedHome home;
  ChildProcess agent;
  // The agent's children outlive it, and with it the reach of its group kill.
  testing::Started worker;
  testing::Started keeper;
  ChildProcess otherSessionsLeftover;
  ChildProcess bystander;
  ProcessIdentity session;

  explicit Scene(const std::string& settings)
      : agent(ChildProcess::helper({"agent", testing::helperBinary().string(), "sleep", "--",
                                    testing::helperBinary().string(), "sleep", "keeper-marker-5c1"},
                                   {.argv0 = "claude"})),
        worker(static_cast<pid_t>(agent.reportedNumbers().at(0))),
        keeper(static_cast<pid_t>(agent.reportedNumbers().at(1))),
        otherSessionsLeftover(ChildProcess::helper({"double-fork"}, {.cwd = home.home()})),
        bystander(ChildProcess::helper({"double-fork"}, {.cwd = home.home()})),
        session(identityOf(agent.pid())) {
    home.dir().write("home/.local/share/Glimmet/settings.json", settings);
    home.dir().write("home/.local/share/Glimmet/protected.json",
                     R"({"userRules": [{"kind": "commandGlob", "pattern": "*keeper-marker-5c1*"}],
                         "disabledDefaults": []})");
    const ProcessIdentity longGone{999999, 1};
    home.dir().write("home/.local/share/Glimmet/ancestry.json",
                     nlohmann::json::array({recordUnder(identityOf(worker.pid()), session),
                                            recordUnder(identityOf(keeper.pid()), session),
                                            recordUnder(identityOf(leftover()), longGone)})
                         .dump());
  }

  pid_t leftover() const { return static_cast<pid_t>(otherSessionsLeftover.reportedNumbers()[0]); }
  pid_t bystanderPID() const { return static_cast<pid_t>(bystander.reportedNumbers()[0]); }

  CommandInputs inputs() { return CommandInputs::load(home.environment(), GLIMMET_BINARY); }
  std::vector<KillLogEntry> killLog() const { return KillLog(home.sharedFolder()).read(); }
};

const auto kStart = std::chrono::system_clock::now();

TEST(CompanionReaper, ASessionEndReapStopsWhatThatSessionLeftAndNothingElse) {
  Scene scene(R"({"reaper": {"enabled": true, "atLogin": false, "onSchedule": false,
                              "sessionGrace": 0}})");
  CompanionReaper reaper(kStart);
  std::ostringstream log;
  const auto inputs = scene.inputs();
  EXPECT_EQ(reaper.tick(inputs, {scene.session}, kStart + std::chrono::seconds(1), log),
            std::nullopt);
  ASSERT_EQ(scene.agent.waitForExit(5), 0);

  const auto reap = reaper.tick(inputs, {}, kStart + std::chrono::seconds(2), log);
  ASSERT_TRUE(reap.has_value()) << log.str();
  EXPECT_EQ(*reap, (CompanionReap{.at = kStart + std::chrono::seconds(2),
                                  .trigger = "sessionEnd",
                                  .dryRun = false,
                                  .selected = 1,
                                  .stopped = 1}));
  EXPECT_EQ(log.str(), "Reaped after session PID " + std::to_string(scene.session.pid) +
                           " ended: stopped 1 of 1 ghost.\n");
  EXPECT_FALSE(alive(scene.worker.pid()));
  EXPECT_TRUE(alive(scene.keeper.pid())) << "protected by the user's rule";
  EXPECT_TRUE(alive(scene.leftover())) << "another session's ghost";
  EXPECT_TRUE(alive(scene.bystanderPID()));

  const auto entries = scene.killLog();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].pid, scene.worker.pid());
  EXPECT_EQ(entries[0].trigger, KillLogEntry::Trigger::sessionEnd);
  EXPECT_EQ(entries[0].result, KillLogEntry::Result::stopped);
  EXPECT_EQ(entries[0].rule, "Quit what that session started and left behind, after 0 s");
  EXPECT_EQ(entries[0].origin, "Claude Code");

  // Reaped once: later observations find nothing more due.
  EXPECT_EQ(reaper.tick(inputs, {}, kStart + std::chrono::seconds(3), log), std::nullopt);
}

TEST(CompanionReaper, TheDryRunOverrideStopsNothingAndLogsWhatItWouldHave) {
  Scene scene(R"({"reaper": {"enabled": true, "atLogin": false, "onSchedule": false,
                              "sessionGrace": 0, "dryRunOverride": true}})");
  CompanionReaper reaper(kStart);
  std::ostringstream log;
  const auto inputs = scene.inputs();
  reaper.tick(inputs, {scene.session}, kStart + std::chrono::seconds(1), log);
  ASSERT_EQ(scene.agent.waitForExit(5), 0);

  const auto reap = reaper.tick(inputs, {}, kStart + std::chrono::seconds(2), log);
  ASSERT_TRUE(reap.has_value()) << log.str();
  EXPECT_TRUE(reap->dryRun);
  EXPECT_EQ(reap->selected, 1u);
  EXPECT_EQ(reap->stopped, 0u);
  EXPECT_EQ(log.str(), "Reap after session PID " + std::to_string(scene.session.pid) +
                           " ended (dry run): would stop 1 ghost.\n");
  EXPECT_TRUE(alive(scene.worker.pid()));
  const auto entries = scene.killLog();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].pid, scene.worker.pid());
  EXPECT_TRUE(entries[0].isDryRun());
  EXPECT_EQ(entries[0].trigger, KillLogEntry::Trigger::sessionEnd);
}

// With no minimum ages the schedule and the login reap take every exact origin;
// their entries carry the automatic reaper's trigger and their rule's text. The
// rules are read anew at every observation: the schedule runs dry, the login not.
TEST(CompanionReaper, ScheduleAndLoginReapsLogTheAutoReaperWithTheirRule) {
  Scene scene(R"({"ghostMinimumAge": 0, "reaper": {"enabled": true, "onSessionEnd": false,
                                                    "interval": 60, "minimumAge": 0}})");
  CompanionReaper reaper(kStart);
  std::ostringstream log;
  auto inputs = scene.inputs();
  reaper.tick(inputs, {scene.session}, kStart + std::chrono::seconds(1), log);
  ASSERT_EQ(scene.agent.waitForExit(5), 0);

  inputs.settings.reaper.dryRunOverride = true;
  const auto scheduled = reaper.tick(inputs, {}, kStart + std::chrono::seconds(60), log);
  ASSERT_TRUE(scheduled.has_value()) << log.str();
  EXPECT_EQ(scheduled->trigger, "schedule");
  EXPECT_TRUE(scheduled->dryRun);
  EXPECT_EQ(scheduled->selected, 2u) << "the worker and the other session's leftover";
  EXPECT_TRUE(alive(scene.worker.pid()));

  inputs.settings.reaper.dryRunOverride = false;
  const auto login = reaper.tick(inputs, {}, kStart + std::chrono::seconds(120), log);
  ASSERT_TRUE(login.has_value()) << log.str();
  EXPECT_EQ(login->trigger, "login");
  EXPECT_EQ(login->stopped, 2u);
  EXPECT_FALSE(alive(scene.worker.pid()));
  EXPECT_FALSE(alive(scene.leftover()));
  EXPECT_TRUE(alive(scene.keeper.pid()));
  EXPECT_TRUE(alive(scene.bystanderPID()));
  EXPECT_EQ(log.str(),
            "Reap on schedule (dry run): would stop 2 ghosts.\n"
            "Reaped at login: stopped 2 of 2 ghosts.\n");

  const auto entries = scene.killLog();
  ASSERT_EQ(entries.size(), 4u);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].trigger, KillLogEntry::Trigger::reaper);
    EXPECT_EQ(entries[i].isDryRun(), i < 2);
    EXPECT_EQ(entries[i].rule, i < 2 ? "Ghosts of any age, exact origins only"
                                     : "2 minutes after login, ghosts of any age");
  }

  // A reap that can't run is said once, not at every trigger, until it runs again.
  inputs.signatures.reset();
  for (int minute = 3; minute <= 5; ++minute)
    EXPECT_EQ(reaper.tick(inputs, {}, kStart + std::chrono::minutes(minute), log), std::nullopt);
  EXPECT_THAT(log.str(), ::testing::EndsWith(
                             "\nCouldn't reap on schedule: the signatures couldn't be loaded\n"));
  EXPECT_EQ(std::ranges::count(log.str(), '\n'), 3);
}

}  // namespace
}  // namespace glimmet
