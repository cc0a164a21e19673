// Liveness: the ordered rules over recorded processes, and one real process
// working inside a project found through the snapshot.
#include "core/safety/liveness_guard.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "core/process/process_enumerator.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace glimmet {
namespace {

using namespace std::chrono_literals;
using Process = LivenessInput::Process;

const SystemTime kNow = SystemTime(std::chrono::seconds(1'780'000'000));

DiskItem item(std::string path, std::optional<std::string> project = std::nullopt) {
  DiskItem i;
  i.path = std::move(path);
  i.projectPath = std::move(project);
  return i;
}

LivenessInput running(std::vector<Process> processes,
                      std::optional<std::vector<std::string>> apps = std::vector<std::string>{}) {
  LivenessInput input;
  input.home = "/home/me";
  input.processes = std::move(processes);
  input.runningApps = std::move(apps);
  return input;
}

TEST(LivenessGuard, AProcessWorkingInTheProjectBlocksItsFolders) {
  const auto modules = item("/home/me/Dev/web/node_modules", "/home/me/Dev/web");
  const LeftoverRule rule;
  EXPECT_EQ(LivenessGuard::check(
                modules, rule, running({{"node", "/usr/bin/node", "/home/me/Dev/web/app", "node"}}),
                kNow),
            "node is running in this project");
  EXPECT_EQ(
      LivenessGuard::check(item("/home/me/.cache/pip"), rule,
                           running({{"pip", std::nullopt, "/home/me/.cache/pip", "pip"}}), kNow),
      "pip is running in this folder");
  Process holder{"python3", std::nullopt, "/tmp", "python3", {"/home/me/.cache/pip/http/x"}};
  EXPECT_EQ(LivenessGuard::check(item("/home/me/.cache/pip"), rule, running({holder}), kNow),
            "python3 is running in this folder");
  EXPECT_EQ(
      LivenessGuard::check(modules, rule,
                           running({{"node", std::nullopt, "/home/me/Dev/webapp", "node"}}), kNow),
      std::nullopt);
  // Folders as a process may spell them: compared once normal.
  EXPECT_EQ(
      LivenessGuard::check(
          modules, rule, running({{"node", std::nullopt, "/home/me/Dev/x/../web/", "node"}}), kNow),
      "node is running in this project");
  EXPECT_EQ(
      LivenessGuard::check(
          item("/home/me/Dev/web/.venv"), rule,
          running({{"python", "/usr/bin/python3.11", "/", "/home/me/Dev/web/.venv/bin/../python"}}),
          kNow),
      "python runs from here");
}

TEST(LivenessGuard, ProgramsRunningFromTheItemAndNamedToolsBlockIt) {
  LeftoverRule rule;
  EXPECT_EQ(
      LivenessGuard::check(item("/home/me/.cargo/registry"), rule,
                           running({{"rg", "/home/me/.cargo/registry/bin/rg", "/", "rg"}}), kNow),
      "rg runs from here");
  rule.blockedWhileRunning = {"Claude", "gradle"};
  EXPECT_EQ(LivenessGuard::check(item("/home/me/.claude/projects/x"), rule,
                                 running({{"claude", std::nullopt, "/", "claude"}}), kNow),
            "Claude Code is running");
  EXPECT_EQ(LivenessGuard::check(item("/home/me/.gradle/caches"), rule,
                                 running({{"gradle", std::nullopt, "/", "gradle"}}), kNow),
            "gradle is running");
}

// A python3 somewhere else on the machine (Debian desktops always run one)
// must not block a project's virtual environment; one working in the project,
// started from the environment or holding a file in it does.
TEST(LivenessGuard, NamedToolsNeverBlockAProjectsOwnFolders) {
  LeftoverRule rule;
  rule.blockedWhileRunning = {"python3"};
  const auto venv = item("/home/me/Dev/api/.venv", "/home/me/Dev/api");
  const Process elsewhere{"python3", "/usr/bin/python3.11", "/", "/usr/bin/python3"};
  EXPECT_EQ(LivenessGuard::check(venv, rule, running({elsewhere}), kNow), std::nullopt);
  EXPECT_EQ(LivenessGuard::check(item("/home/me/.cache/pip"), rule, running({elsewhere}), kNow),
            "python3 is running");

  const Process fromVenv{"python3", "/usr/bin/python3.11", "/tmp",
                         "/home/me/Dev/api/.venv/bin/python3"};
  EXPECT_EQ(LivenessGuard::check(venv, rule, running({fromVenv}), kNow), "python3 runs from here");
  const Process holder{
      "python3", "/usr/bin/python3.11", "/tmp", "python3", {"/home/me/Dev/api/data.db"}};
  EXPECT_EQ(LivenessGuard::check(venv, rule, running({holder}), kNow),
            "python3 is running in this project");
}

TEST(LivenessGuard, BuildsBlockOnlyFreshItems) {
  LeftoverRule rule;
  rule.blockedWhileBuilding = true;
  auto derived = item("/home/me/Library/Developer/Xcode/DerivedData");
  const auto input = running({{"xcodebuild", std::nullopt, "/", "xcodebuild"}});
  derived.modified = kNow - 2h;
  EXPECT_EQ(LivenessGuard::check(derived, rule, input, kNow), std::nullopt);
  derived.modified = kNow - 10min;
  EXPECT_EQ(LivenessGuard::check(derived, rule, input, kNow), "Xcode is building");
}

TEST(LivenessGuard, AppsThatCannotBeListedBlockTheirCaches) {
  LeftoverRule rule;
  rule.blockedWhileAppRuns = true;
  const auto cache = item("/home/me/.var/app/org.gimp.GIMP/cache");
  EXPECT_EQ(LivenessGuard::check(cache, rule, running({}, std::nullopt), kNow),
            "Can't tell if this app is running");
  EXPECT_EQ(LivenessGuard::check(cache, rule, running({}, {{"org.gimp.GIMP"}}), kNow),
            "This app is running");
  EXPECT_EQ(LivenessGuard::check(item("/Users/me/Library/Caches/Foo.app/x"), rule,
                                 running({}, {{"/Applications/Foo.app"}}), kNow),
            "This app is running");
  EXPECT_EQ(LivenessGuard::check(cache, rule, running({}, {{"org.gimp"}}), kNow), std::nullopt);
  // Docker figures have no folder to guard.
  EXPECT_EQ(LivenessGuard::check(item("images"), rule, running({}, std::nullopt), kNow),
            std::nullopt);
}

TEST(LivenessGuard, GathersRealWorkingFoldersFromTheSnapshot) {
  testing::TempDir dir;
  std::filesystem::create_directories(dir / "web/src");
  auto server = testing::ChildProcess::helper({"sleep"}, {.cwd = dir / "web/src"});
  ProcessEnumerator enumerator(::getuid());
  const auto snapshot = enumerator.snapshot(std::chrono::system_clock::now());
  const auto input = LivenessInput::gather(snapshot, ::getuid(), ::getpid(), dir.path().string(),
                                           dir.path().string());
  const auto modules = item((dir / "web/node_modules").string(), (dir / "web").string());
  const auto reason = LivenessGuard::check(modules, LeftoverRule{}, input, kNow);
  ASSERT_TRUE(reason);
  EXPECT_TRUE(reason->ends_with(" is running in this project")) << *reason;
}

}  // namespace
}  // namespace glimmet
