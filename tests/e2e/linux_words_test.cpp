// Every help screen and the messages that point a person somewhere speak of
// this Linux machine: no Mac, no menu-bar application, no settings panes and
// no macOS folders that a Linux user would look for in vain.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "core/output/iso8601.h"
#include "mcp_pipe_client.h"
#include "support/child_process.h"
#include "support/isolated_home.h"

namespace glimmet {
namespace {

using nlohmann::json;

const std::vector<std::string> kWordsTrueOnlyOnAMac = {"Mac", "macOS", "Glimmet.app", "Settings >",
                                                       "~/Library"};

void expectTrueOnLinux(const std::string& text, const std::string& where) {
  for (const auto& word : kWordsTrueOnlyOnAMac)
    EXPECT_EQ(text.find(word), std::string::npos) << where << " says \"" << word << "\":\n" << text;
}

// The names listed under "Subcommands:" in a help screen, each on its own
// line indented by two spaces.
std::vector<std::string> subcommandsIn(const std::string& help) {
  std::vector<std::string> names;
  const auto heading = help.find("Subcommands:");
  if (heading == std::string::npos) return names;
  std::istringstream lines(help.substr(heading));
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    if (!line.starts_with("  ") || line.starts_with("   ")) break;
    names.push_back(line.substr(2, line.find(' ', 2) - 2));
  }
  return names;
}

TEST(LinuxWords, NoHelpScreenOrCompletionScriptSpeaksOfAMac) {
  testing::IsolatedHome home;
  std::vector<std::vector<std::string>> pending = {{}};
  std::set<std::vector<std::string>> seen;
  while (!pending.empty()) {
    const auto words = pending.back();
    pending.pop_back();
    if (!seen.insert(words).second || words.size() > 3) continue;
    auto arguments = words;
    arguments.push_back("--help");
    const auto result = home.glimmet(arguments);
    EXPECT_EQ(result.status, 0) << ::testing::PrintToString(words);
    expectTrueOnLinux(result.out + result.err, "glimmet help " + ::testing::PrintToString(words));
    for (const auto& name : subcommandsIn(result.out)) {
      auto deeper = words;
      deeper.push_back(name);
      pending.push_back(deeper);
    }
  }
  // The walk reached the leaves, not just the root.
  EXPECT_TRUE(seen.contains({"apps", "leftovers"}));
  EXPECT_TRUE(seen.contains({"companion", "install"}));
  EXPECT_TRUE(seen.contains({"hooks", "snippet"}));
  EXPECT_TRUE(seen.contains({"settings", "set"}));
  EXPECT_GT(seen.size(), 30u);

  // The completion scripts carry the same texts as descriptions.
  for (const std::string shell : {"bash", "zsh", "fish"})
    expectTrueOnLinux(home.glimmet({"--generate-completion-script", shell}).out, shell);
}

TEST(LinuxWords, MissingDataFilesSayWhereTheyAreLookedFor) {
  testing::IsolatedHome home;
  home.dir().write("broken.json", "{\"version\": 1, \"rules\": [");
  const auto broken = (home.root() / "broken.json").string();
  home.environment() =
      home.environment().with("GLIMMET_SIGNATURES", broken).with("GLIMMET_LEFTOVERS", broken);

  const auto ghosts = home.glimmet({"ghosts"});
  EXPECT_EQ(ghosts.status, 3);
  EXPECT_THAT(ghosts.err, ::testing::HasSubstr("GLIMMET_SIGNATURES"));
  expectTrueOnLinux(ghosts.out + ghosts.err, "ghosts");
  const auto scan = home.glimmet({"disk", "scan"});
  EXPECT_EQ(scan.status, 3);
  EXPECT_THAT(scan.out, ::testing::HasSubstr("GLIMMET_LEFTOVERS"));
  expectTrueOnLinux(scan.out + scan.err, "disk scan");
}

TEST(LinuxWords, MCPAnswersPointAtTheCompanionAndTheCommands) {
  std::signal(SIGPIPE, SIG_IGN);
  testing::IsolatedHome home;
  auto mine = testing::ChildProcess::helper({"sleep"});
  auto text = [](const json& result) { return result["content"][0]["text"].get<std::string>(); };
  const std::string settings = "home/.local/share/Glimmet/settings.json";

  home.dir().write(settings, json{{"mcp", {{"enabled", false}}}}.dump());
  {
    testing::MCPPipe mcp(home);
    const auto hello = mcp.ask({{"jsonrpc", "2.0"},
                                {"id", 1},
                                {"method", "initialize"},
                                {"params", {{"protocolVersion", "2024-11-05"}}}});
    expectTrueOnLinux(hello.dump(), "initialize");
    expectTrueOnLinux(mcp.ask({{"jsonrpc", "2.0"}, {"id", 2}, {"method", "tools/list"}}).dump(),
                      "tools/list");
    const auto off = text(mcp.call("status"));
    EXPECT_THAT(off, ::testing::HasSubstr("glimmet settings set mcp.enabled true"));
    expectTrueOnLinux(off, "MCP while off");
  }

  home.dir().write(settings, json{{"mcp", {{"enabled", true}}}}.dump());
  testing::MCPPipe mcp(home);
  expectTrueOnLinux(text(mcp.call("safety", {{"pid", mine.pid()}})), "safety");
  const auto waiting = text(mcp.call("request_quit", {{"pid", mine.pid()}}));
  EXPECT_THAT(waiting, ::testing::HasSubstr("glimmet requests"));
  expectTrueOnLinux(waiting, "request_quit without the companion");
  home.dir().write("home/.local/share/Glimmet/mcp-heartbeat.json",
                   json{{"time", formatIso8601(std::chrono::system_clock::now())}}.dump());
  const auto asked = text(mcp.call("request_quit", {{"pid", mine.pid()}}));
  EXPECT_THAT(asked, ::testing::HasSubstr("\"appRunning\":true"));
  expectTrueOnLinux(asked, "request_quit with the companion");
}

}  // namespace
}  // namespace glimmet
