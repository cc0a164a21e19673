// The launcher over real children: output lines, exit codes, and a command
// that outlives its time limit taken down with its whole group.
#include "core/tools/process_launcher.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>

#include "platform/system_error.h"
#include "support/temp_dir.h"

namespace glimmet {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> lines;
const auto collect = [](const std::string& line) { lines.push_back(line); };

TEST(POSIXLauncher, RunsWithoutAShellAndReportsItsOutputAndExit) {
  testing::TempDir dir;
  const POSIXLauncher launcher;
  lines.clear();
  auto process = launcher.spawn(
      {"/bin/sh", "-c", "pwd; read x || echo no input; echo oops >&2; exit 3", "$HOME"},
      dir.path());
  const auto exit = launcher.wait(process, POSIXLauncher::Clock::now() + 60s, collect);
  EXPECT_EQ(exit.kind, ProcessExit::Kind::exited);
  EXPECT_EQ(exit.code, 3);
  EXPECT_EQ(lines, (std::vector<std::string>{std::filesystem::canonical(dir.path()).string(),
                                             "no input", "oops"}));
  EXPECT_THROW(launcher.spawn({"/nonexistent/tool"}, dir.path()), platform::SystemError);
  EXPECT_THROW(launcher.spawn({"relative-tool"}, dir.path()), platform::SystemError);
}

TEST(POSIXLauncher, AHangingCommandIsStoppedWithItsWholeGroup) {
  testing::TempDir dir;
  const POSIXLauncher launcher;
  lines.clear();
  const auto pidFile = dir / "grandchild";
  // The grandchild ignores SIGTERM, so only the group's SIGKILL ends it.
  auto process =
      launcher.spawn({"/bin/sh", "-c", "(trap '' TERM; exec sleep 1000) & echo $! > \"$0\"; wait",
                      pidFile.string()},
                     dir.path());
  const auto exit = launcher.wait(process, POSIXLauncher::Clock::now() + 300ms, collect);
  EXPECT_EQ(exit.kind, ProcessExit::Kind::timedOut);
  pid_t grandchild = 0;
  std::ifstream(pidFile) >> grandchild;
  ASSERT_GT(grandchild, 0);
  // Reaped by init once killed; gone or a zombie at worst, never still sleeping.
  for (int i = 0; i < 100 && ::kill(grandchild, 0) == 0; ++i) {
    std::ifstream stat("/proc/" + std::to_string(grandchild) + "/stat");
    std::string pid, name, state;
    stat >> pid >> name >> state;
    if (state == "Z" || state.empty()) break;
    std::this_thread::sleep_for(20ms);
  }
  std::ifstream stat("/proc/" + std::to_string(grandchild) + "/stat");
  std::string pid, name, state;
  stat >> pid >> name >> state;
  EXPECT_TRUE(state.empty() || state == "Z") << state;
}

TEST(POSIXLauncher, AStopRequestEndsTheCommandAsStopped) {
  testing::TempDir dir;
  const POSIXLauncher launcher;
  std::atomic<bool> stop{true};
  auto process = launcher.spawn({"/bin/sleep", "1000"}, dir.path());
  const auto exit = launcher.wait(process, POSIXLauncher::Clock::now() + 60s, collect, &stop);
  EXPECT_EQ(exit.kind, ProcessExit::Kind::stopped);
}

}  // namespace
}  // namespace glimmet
