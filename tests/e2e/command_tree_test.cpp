// The command tree as a user meets it: help screens, usage errors and statuses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/isolated_home.h"

namespace glimmet {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::vector<std::string> kCommandsInHelpOrder = {
    "ls",     "ghosts",    "kill",     "reap",   "protect", "unprotect", "disk",
    "apps",   "status",    "ports",    "agents", "stop",    "ui",        "mcp",
    "notify", "companion", "settings", "hooks",  "version"};

TEST(CommandTree, NoArgumentsPrintsRootHelpWithEveryCommandInOrder) {
  testing::IsolatedHome home;
  const auto result = home.glimmet({});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_THAT(result.out, StartsWith("Your Linux machine's friendly ghost catcher.\n"));
  size_t position = result.out.find("Subcommands:");
  ASSERT_NE(position, std::string::npos);
  for (const auto& command : kCommandsInHelpOrder) {
    const auto found = result.out.find("\n  " + command + " ", position);
    ASSERT_NE(found, std::string::npos) << command;
    position = found;
  }
  EXPECT_EQ(home.glimmet({"--help"}).out, result.out);
  EXPECT_EQ(home.glimmet({"help"}).out, result.out);
}

TEST(CommandTree, EveryCommandHasHelpWithItsAbstract) {
  testing::IsolatedHome home;
  const std::vector<std::pair<std::vector<std::string>, std::string>> abstracts = {
      {{"ls"}, "List dev servers and the ports they hold."},
      {{"kill"}, "Kill a process tree by port (:3000) or PID."},
      {{"disk", "scan"}, "Measure disk leftovers (read only)."},
      {{"disk", "clean"}, "Clean items from the last disk scan."},
      {{"apps", "leftovers"},
       "List an app's leftover files in ~/.config, ~/.cache and ~/.local (read only)."},
      {{"mcp"}, "Read-only MCP server. Quitting anything waits for your answer."},
      {{"version"}, "Print the Glimmet version."},
  };
  for (const auto& [words, abstract] : abstracts) {
    auto arguments = words;
    arguments.push_back("--help");
    const auto result = home.glimmet(arguments);
    EXPECT_EQ(result.status, 0) << words.back();
    EXPECT_THAT(result.out, StartsWith(abstract + "\n")) << words.back();
    // "glimmet help WORDS" is the same screen.
    auto helpArguments = words;
    helpArguments.insert(helpArguments.begin(), "help");
    EXPECT_EQ(home.glimmet(helpArguments).out, result.out);
  }
}

TEST(CommandTree, HelpShowsOptionsDiscussionsAndTheirTexts) {
  testing::IsolatedHome home;
  const auto reap = home.glimmet({"reap", "--help"}).out;
  EXPECT_THAT(reap, HasSubstr("--older-than <duration>"));
  EXPECT_THAT(reap, HasSubstr("Only ghosts older than this, like 6h, 30m or 0."));
  EXPECT_THAT(
      reap,
      HasSubstr("Only exact origins are reaped unless your Glimmet settings allow likely ones. "
                "Protected processes are never touched."));
  EXPECT_LT(reap.find("--dry-run"), reap.find("--older-than"));
  EXPECT_LT(reap.find("--include-dev-servers"), reap.find("--quiet"));
  const auto clean = home.glimmet({"disk", "clean", "--help"}).out;
  EXPECT_THAT(clean, HasSubstr("Item ids or paths from the last scan."));
  EXPECT_THAT(
      clean,
      HasSubstr("Copy agent chats here, check the copy, then move the originals to the Trash."));
  EXPECT_THAT(home.glimmet({"stop", "--help"}).out,
              HasSubstr("Minutes a server must have been up. Default 45."));
  EXPECT_THAT(home.glimmet({"notify", "--help"}).out,
              HasSubstr("Claude Code sends JSON on stdin, Codex as the last argument."));
}

TEST(CommandTree, DiskAloneShowsItsHelpAndAppsAloneRunsAppsList) {
  testing::IsolatedHome home;
  const auto disk = home.glimmet({"disk"});
  EXPECT_EQ(disk.status, 0);
  EXPECT_THAT(disk.out, StartsWith("See what your agents and dev tools left on disk.\n"));
  EXPECT_THAT(disk.out, HasSubstr("\n  scan "));
  EXPECT_THAT(disk.out, HasSubstr("\n  clean "));

  const auto apps = home.glimmet({"apps"});
  const auto appsList = home.glimmet({"apps", "list"});
  EXPECT_EQ(apps.status, appsList.status);
  EXPECT_EQ(apps.out, appsList.out);
  EXPECT_EQ(home.glimmet({"apps", "--json"}).out, home.glimmet({"apps", "list", "--json"}).out);
  EXPECT_THAT(home.glimmet({"apps", "--help"}).out, HasSubstr("\n  leftovers "));
}

struct UsageCase {
  std::vector<std::string> arguments;
  std::string message;
};

TEST(CommandTree, UsageErrorsGoToStandardErrorWithStatus64) {
  testing::IsolatedHome home;
  const std::vector<UsageCase> cases = {
      {{"reap", "--after-exit"}, "--after-exit needs --session."},
      {{"reap", "--after-exit", "--older-than", "soon"}, "--after-exit needs --session."},
      {{"reap", "--older-than", "90"}, "Use a duration like 6h, 30m, 90s or 0."},
      {{"reap", "--older-than", "-1h"}, "Use a duration like 6h, 30m, 90s or 0."},
      {{"stop"}, "glimmet stop needs --idle."},
      {{"stop", "--older-than", "10"}, "glimmet stop needs --idle."},
      {{"stop", "--idle", "--older-than", "-5"}, "--older-than is a number of minutes."},
      {{"stop", "--idle", "--older-than=-5"}, "--older-than is a number of minutes."},
      // Overflowing ages are refused, never wrapped into a negative number of seconds.
      {{"stop", "--idle", "--older-than", "9223372036854775807", "--json"},
       "--older-than is a number of minutes."},
      {{"stop", "--idle", "--older-than", "5256001"}, "--older-than is a number of minutes."},
      {{"reap", "--older-than", "99999999999999999999d"}, "Use a duration like 6h, 30m, 90s or 0."},
      {{"kill", "abc"}, "Use a port like :3000 or a PID."},
      {{"kill", ":70000"}, "Use a port like :3000 or a PID."},
      {{"kill", "-5"}, ""},
      {{"kill"}, "target"},
      {{"notify"}, "--agent"},
      {{"protect"}, "pattern"},
      {{"apps", "leftovers"}, "app"},
      {{"ls", "-j"}, "-j"},
      {{"kill", "-f", "42"}, "-f"},
      {{"ls", "--json", "extra"}, "extra"},
      {{"reap", "--session", "abc"}, "'abc'"},
      {{"reap", "--session", "99999999999"}, "'99999999999'"},
      {{"kill", "42", "--grace", "soon"}, "'soon'"},
      {{"stop", "--idle", "--older-than", "1.5"}, "'1.5'"},
      {{"nonsense"}, "glimmet has no command 'nonsense'."},
      // Asking for help on a command that doesn't exist is a mistake too, named.
      {{"help", "nosuch"}, "glimmet has no command 'nosuch'."},
      {{"nosuch", "--help"}, "glimmet has no command 'nosuch'."},
      {{"disk", "nosuch", "-h"}, "glimmet disk has no command 'nosuch'."},
      {{"help", "apps", "nosuch"}, "glimmet apps has no command 'nosuch'."},
      {{"version", "--json"}, "--json"},
      {{"disk", "scan", "--home"}, "--home"},
  };
  for (const auto& [arguments, message] : cases) {
    const auto result = home.glimmet(arguments);
    const std::string label = ::testing::PrintToString(arguments);
    EXPECT_EQ(result.status, 64) << label;
    EXPECT_EQ(result.out, "") << label;
    EXPECT_THAT(result.err, StartsWith("Error: ")) << label;
    EXPECT_THAT(result.err, HasSubstr(message)) << label;
    EXPECT_THAT(result.err, HasSubstr("\nUsage: glimmet")) << label;
  }
  // Validation messages are quoted exactly, with nothing around them on their line.
  EXPECT_THAT(home.glimmet({"kill", "abc"}).err,
              StartsWith("Error: Use a port like :3000 or a PID.\nUsage: glimmet kill "));
}

TEST(CommandTree, VersionPrintsExactlyTheVersion) {
  testing::IsolatedHome home;
  const auto result = home.glimmet({"version"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "1.3.0\n");
  EXPECT_EQ(result.err, "");
}

TEST(CommandTree, NotifyNeverFailsAnAgentHook) {
  testing::IsolatedHome home;
  const auto claude = home.glimmet({"notify", "--agent", "claude-code", "--pid", "4242"},
                                   {.input = "{\"hook_event_name\": \"Stop\"}"});
  EXPECT_EQ(claude.status, 0);
  EXPECT_EQ(claude.out, "");
  EXPECT_EQ(home.glimmet({"notify", "--agent", "codex", std::string("\xff\x00 binary", 9)}).status,
            0);
  EXPECT_FALSE(std::filesystem::exists(home.sharedFolder()));
}

TEST(CommandTree, OutputIsTheSameOnATerminalAndThroughAPipe) {
  testing::IsolatedHome home;
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"version"}, {}, {"reap", "--help"}}) {
    const auto piped = home.glimmet(arguments);
    const auto terminal = home.glimmet(arguments, {.onTerminal = true});
    std::string expected;
    // The terminal turns each line feed into CR LF; nothing else may differ.
    for (const char c : piped.out) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(terminal.out, expected);
    EXPECT_EQ(terminal.status, piped.status);
  }
}

}  // namespace
}  // namespace glimmet
