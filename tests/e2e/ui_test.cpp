// glimmet ui in a real terminal (tmux, on a socket of the test's own): the
// view lists what the test started, stops a ghost as glimmet kill does,
// refuses to stop a protected server, cleans marked disk items into the Trash
// after a typed yes, stays readable at 80x24, and puts the terminal back on
// q, on Ctrl-C and on a crash signal.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "core/output/text.h"
#include "core/process/process_enumerator.h"
#include "logic/ui/ui_text.h"
#include "support/child_process.h"
#include "support/isolated_home.h"
#include "support/process_alive.h"
#include "support/tmux_view.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using ::testing::HasSubstr;
using testing::TmuxView;

// No minimum age, so that what the test just started can be a ghost.
struct UiHome : testing::IsolatedHome {
  UiHome() { dir().write("home/.local/share/Glimmet/settings.json", R"({"ghostMinimumAge": 0})"); }

  // The view inside a shell that reports, once it ends, how it ended and
  // whether the terminal's modes are what they were before. The shell outlives
  // a Ctrl-C (its trap does nothing) to say so.
  std::unique_ptr<TmuxView> view(int width = 110, int height = 32) {
    const std::string command =
        "trap : INT; before=$(stty -g); '" + std::string(GLIMMET_BINARY) +
        "' ui; status=$?; after=$(stty -g); "
        "if [ \"$before\" = \"$after\" ]; then echo terminal restored; else echo terminal "
        "changed; fi; echo \"ui exited with $status\"; exec sleep 600";
    auto view = std::make_unique<TmuxView>(root(), environment(), command, width, height);
    EXPECT_TRUE(view->waitFor("1 Sessions")) << view->screen();
    return view;
  }
};

// The glimmet ui process: the child of the shell in the window.
pid_t uiPID(const TmuxView& view) {
  const auto shell = view.format("#{pane_pid}");
  std::ifstream children("/proc/" + shell + "/task/" + shell + "/children");
  pid_t pid = 0;
  children >> pid;
  return pid;
}

// Shows only the rows that mention `text`, so other tests' processes stay out.
void filterTo(const TmuxView& view, const std::string& text) {
  view.type("/" + text);
  view.keys({"Enter"});
}

void expectTerminalRestored(const TmuxView& view, const std::string& status) {
  EXPECT_TRUE(view.waitFor("ui exited with " + status)) << view.screen();
  EXPECT_THAT(view.screen(), HasSubstr("terminal restored"));
  EXPECT_EQ(view.format("#{alternate_on}"), "0");
  EXPECT_EQ(view.format("#{cursor_flag}"), "1");
}

std::vector<nlohmann::json> jsonLines(const fs::path& file) {
  std::vector<nlohmann::json> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

TEST(Ui, WithoutATerminalItRefusesAndPointsAtThePlainCommands) {
  UiHome home;
  const auto result = home.glimmet({"ui"});
  EXPECT_EQ(result.status, 3);
  EXPECT_THAT(result.out, HasSubstr("glimmet ui needs a terminal"));
  EXPECT_THAT(result.out, HasSubstr("glimmet disk clean"));
}

TEST(Ui, ListsAServerAndAGhostAndStopsTheGhostIntoTheKillLog) {
  UiHome home;
  auto server = ChildProcess::helper({"listen", "127.0.0.1"}, {.cwd = home.home()});
  const auto port = server.reportedNumbers().at(0);
  auto helper = ChildProcess::helper({"double-fork"}, {.cwd = home.home(), .argv0 = "vite"});
  const auto ghost = static_cast<pid_t>(helper.reportedNumbers().at(0));
  const auto snapshot = ProcessEnumerator(::geteuid()).snapshot(std::chrono::system_clock::now());
  const auto* record = snapshot.record(ghost);
  if (record == nullptr || record->ppid != 1)
    GTEST_SKIP() << "orphans here go to a subreaper the tool doesn't know";

  auto view = home.view();
  view->keys({"3"});
  EXPECT_TRUE(view->waitFor(":" + std::to_string(port))) << view->screen();
  view->keys({"2"});
  filterTo(*view, std::to_string(ghost));
  ASSERT_TRUE(view->waitFor("Orphaned dev server")) << view->screen();
  EXPECT_THAT(view->screen(), HasSubstr("> " + padCut(std::to_string(ghost), 7) + " Vite"));

  view->keys({"Enter"});
  EXPECT_TRUE(view->waitFor("Why it's a ghost: A dev server whose terminal closed"))
      << view->screen();
  view->keys({"Escape"});
  ASSERT_TRUE(view->waitFor("Enter details")) << view->screen();
  view->keys({"k"});
  ASSERT_TRUE(view->waitFor("Stop vite double-fork (PID " + std::to_string(ghost) + ")?"))
      << view->screen();
  view->keys({"y"});
  EXPECT_TRUE(view->waitFor("Freed PID " + std::to_string(ghost))) << view->screen();
  EXPECT_FALSE(testing::alive(ghost));
  EXPECT_TRUE(testing::alive(server.pid()));

  bool logged = false;
  for (const auto& entry : jsonLines(home.sharedFolder() / "killlog.jsonl"))
    if (entry["pid"] == ghost) {
      logged = true;
      EXPECT_EQ(entry["trigger"], "cli");
      EXPECT_EQ(entry["result"], "stopped");
    }
  EXPECT_TRUE(logged);
  view->keys({"q"});
  expectTerminalRestored(*view, "0");
}

TEST(Ui, AProtectedServerCantBeStoppedAndTheViewSaysWhy) {
  UiHome home;
  ASSERT_EQ(home.glimmet({"protect", "*keep-me*"}).status, 0);
  auto server =
      ChildProcess::helper({"listen", "127.0.0.1"}, {.cwd = home.home(), .argv0 = "keep-me"});
  const auto port = ":" + std::to_string(server.reportedNumbers().at(0));

  auto view = home.view();
  view->keys({"3"});
  filterTo(*view, port);
  ASSERT_TRUE(view->waitFor("[protected]")) << view->screen();
  view->keys({"k"});
  EXPECT_TRUE(view->waitFor("Can't stop this: Protected by your rule")) << view->screen();
  EXPECT_THAT(view->screen(), ::testing::Not(HasSubstr("Stop keep-me")));
  view->keys({"y"});  // no question was asked, so this is no answer
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(testing::alive(server.pid()));
  EXPECT_FALSE(fs::exists(home.sharedFolder() / "killlog.jsonl"));
}

TEST(Ui, TwoMarkedDiskItemsGoToTheTrashAfterATypedYes) {
  UiHome home;
  home.dir().write("rules.json", R"({"version": 1, "rules": [
    {"id": "first-cache", "label": "First cache", "tool": "fixture", "category": "safeToClear",
     "safety": "safe", "match": "path", "paths": ["~/.cache/first"],
     "clean": {"kind": "trash"}, "ifRemoved": "Nothing.", "verified": true},
    {"id": "second-cache", "label": "Second cache", "tool": "fixture", "category": "safeToClear",
     "safety": "safe", "match": "path", "paths": ["~/.cache/second"],
     "clean": {"kind": "trash"}, "ifRemoved": "Nothing.", "verified": true}]})");
  home.environment() =
      home.environment().with("GLIMMET_LEFTOVERS", (home.root() / "rules.json").string());
  home.dir().write("home/.cache/first/blob", std::string(3'000'000, 'a'));
  home.dir().write("home/.cache/second/blob", std::string(2'000'000, 'b'));

  auto view = home.view();
  view->keys({"4"});
  EXPECT_TRUE(view->waitFor("No disk scan yet")) << view->screen();
  view->keys({"r"});  // scans in the background, as glimmet disk scan
  ASSERT_TRUE(view->waitFor("Second cache: ~/.cache/second", std::chrono::seconds(60)))
      << view->screen();
  view->keys({"Space", "Down", "Space"});
  EXPECT_TRUE(view->waitFor("2 marked")) << view->screen();
  view->keys({"c"});
  ASSERT_TRUE(view->waitFor("Type yes to clean up 2 items:")) << view->screen();
  EXPECT_THAT(view->screen(), HasSubstr("Will move to the Trash: ~/.cache/first"));
  EXPECT_TRUE(fs::exists(home.home() / ".cache/first"));
  view->type("yes");
  view->keys({"Enter"});
  ASSERT_TRUE(view->waitFor("Second cache: moved to Trash")) << view->screen();
  EXPECT_THAT(view->screen(), HasSubstr("First cache: moved to Trash"));

  EXPECT_FALSE(fs::exists(home.home() / ".cache/first"));
  EXPECT_FALSE(fs::exists(home.home() / ".cache/second"));
  const auto trash = home.home() / ".local/share/Trash";
  EXPECT_TRUE(fs::exists(trash / "files/first/blob"));
  EXPECT_TRUE(fs::exists(trash / "files/second/blob"));
  int results = 0;
  for (const auto& entry : jsonLines(home.sharedFolder() / "cleanup.jsonl"))
    if (entry["phase"] == "result") {
      ++results;
      EXPECT_EQ(entry["result"], "moved to Trash");
      EXPECT_EQ(entry["trigger"], "cli");
    }
  EXPECT_EQ(results, 2);
  // Cleaned items leave the list, and their marks with them.
  EXPECT_TRUE(view->waitFor("The last scan found nothing to clean")) << view->screen();
}

TEST(Ui, StaysReadableAt80x24AndQRestoresTheTerminal) {
  UiHome home;
  auto view = home.view(132, 40);
  view->resize(80, 24);
  const auto fits = [](const std::string& screen) {
    std::istringstream lines(screen);
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count)
      if (screenWidth(line) > 80) return false;
    return count == 24 && screen.find("q quit") != std::string::npos;
  };
  EXPECT_TRUE(view->waitUntil(fits)) << view->screen();
  std::istringstream lines(view->screen());
  std::string first;
  std::getline(lines, first);
  EXPECT_THAT(first, HasSubstr("1 Sessions"));
  EXPECT_THAT(first, HasSubstr("4 Disk"));
  view->keys({"?"});
  EXPECT_TRUE(view->waitFor("Any key goes back.")) << view->screen();
  view->keys({"Escape"});
  ASSERT_TRUE(view->waitFor("Enter details")) << view->screen();
  view->keys({"q"});
  expectTerminalRestored(*view, "0");
  EXPECT_THAT(view->screen(), ::testing::Not(HasSubstr("1 Sessions")));
}

TEST(Ui, CtrlCAndACrashSignalRestoreTheTerminal) {
  UiHome home;
  {
    auto view = home.view();
    view->keys({"C-c"});
    expectTerminalRestored(*view, "130");
  }
  auto view = home.view();
  const auto pid = uiPID(*view);
  ASSERT_GT(pid, 0);
  // The process this test started, through the shell in its window.
  ::kill(pid, SIGSEGV);
  expectTerminalRestored(*view, "139");
}

}  // namespace
}  // namespace glimmet
