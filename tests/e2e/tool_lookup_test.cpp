// Finding tools through the user's login shell, end to end: a fake login
// shell that prints junk beside its answers, one that hangs (its whole group
// is stopped at the time limit and the fallback search path answers), and the
// cache folders that tools report for disk scan.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "support/isolated_home.h"

namespace glimmet {
namespace {

using ::testing::HasSubstr;

constexpr std::string_view kRules = R"({"version": 1, "rules": [
  {"id": "fixture-tool", "label": "Tool cache", "tool": "fake-clean", "category": "safeToClear",
   "safety": "safe", "match": "path", "paths": ["~/.cache/fixture-tool"],
   "clean": {"kind": "toolCommand", "argv": ["fake-clean", "purge", "{path}"]},
   "ifRemoved": "Nothing.", "verified": true}
]})";

std::filesystem::path executable(const testing::IsolatedHome& home, const std::string& name,
                                 const std::string& text) {
  const auto path = home.dir().write(name, text);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  return path;
}

struct LookupHome {
  testing::IsolatedHome home;

  explicit LookupHome(std::string_view rules = kRules) {
    home.dir().write("rules.json", std::string(rules));
    // No PATH entry holds the fake tools: only the shell or the fallback finds them.
    home.environment() = home.environment()
                             .with("GLIMMET_LEFTOVERS", (home.root() / "rules.json").string())
                             .with("PATH", (home.root() / "empty-bin").string());
    home.dir().write("home/.cache/fixture-tool/blob", std::string(5000, 'u'));
  }

  // A login shell by the name zsh: it sources nothing, prints what login files
  // print, then runs the script it is given with the system shell.
  void loginShell(const std::string& body) {
    const auto shell = executable(home, "shells/zsh", "#!/bin/sh\n" + body);
    home.environment() = home.environment().with("SHELL", shell.string());
  }
};

TEST(ToolLookup, TheLoginShellsAnswerIsTakenAndItsJunkIgnored) {
  LookupHome fixture;
  const auto tool = executable(fixture.home, "tools/fake-clean", "#!/bin/sh\necho cleaned\n");
  fixture.loginShell(
      "echo 'Last login: today'\necho 'fake-clean=alias fake-clean=rm'\n"
      "echo 'git=not a path'\n"
      "PATH='" +
      tool.parent_path().string() + ":/usr/bin:/bin' exec /bin/sh -c \"$2\"\n");
  auto result = fixture.home.glimmet({"disk", "scan", "--json"});
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  result =
      fixture.home.glimmet({"disk", "clean", "~/.cache/fixture-tool#fixture-tool", "--dry-run"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "Would run: '" + tool.string() + "' purge '" +
                            (fixture.home.home() / ".cache/fixture-tool").string() + "'\n");
}

bool goneOrZombie(pid_t pid) {
  if (::kill(pid, 0) != 0) return true;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string field, name, state;
  stat >> field >> name >> state;
  return state.empty() || state == "Z";
}

TEST(ToolLookup, AHangingLoginShellIsStoppedWithItsGroupAndTheFallbackAnswers) {
  LookupHome fixture;
  const auto tool = executable(fixture.home, "home/.local/bin/fake-clean", "#!/bin/sh\n");
  const auto pids = fixture.home.root() / "pids";
  // The shell starts a child in its group and waits on it forever.
  fixture.loginShell("/bin/sleep 100000 &\necho $$ $! > '" + pids.string() + "'\nwait\n");
  ASSERT_EQ(fixture.home.glimmet({"disk", "scan", "--json"}).status, 0);
  std::filesystem::remove(pids);
  const auto planned =
      fixture.home.glimmet({"disk", "clean", "~/.cache/fixture-tool#fixture-tool", "--dry-run"});
  EXPECT_EQ(planned.status, 0) << planned.err;
  EXPECT_EQ(planned.out, "Would run: '" + tool.string() + "' purge '" +
                             (fixture.home.home() / ".cache/fixture-tool").string() + "'\n");

  pid_t shell = 0, child = 0;
  std::ifstream(pids) >> shell >> child;
  ASSERT_GT(shell, 0);
  ASSERT_GT(child, 0);
  for (int i = 0; i < 100 && !(goneOrZombie(shell) && goneOrZombie(child)); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(goneOrZombie(shell));
  EXPECT_TRUE(goneOrZombie(child));
}

}  // namespace
}  // namespace glimmet
