// glimmet notify with real hook payloads in a private home: it records one line
// per event while the application's heartbeat is fresh, and is silent and
// successful whatever it is given.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <future>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/output/iso8601.h"
#include "support/isolated_home.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using ::testing::MatchesRegex;

constexpr std::string_view kStop =
    R"({"session_id":"s-1","cwd":"/home/dev/app","hook_event_name":"Stop"})";

class Notify : public ::testing::Test {
 protected:
  // A notify that stops reading early closes the pipe under the test's writer.
  void SetUp() override { std::signal(SIGPIPE, SIG_IGN); }

  void beat(std::chrono::seconds age = std::chrono::seconds(0)) {
    home_.dir().write("home/.local/share/Glimmet/mcp-heartbeat.json",
                      json{{"time", formatIso8601(std::chrono::system_clock::now() - age)}}.dump());
  }

  testing::RunResult notify(std::vector<std::string> arguments, std::string input = {}) {
    arguments.insert(arguments.begin(), "notify");
    return home_.glimmet(arguments, {.input = std::move(input)});
  }

  // Runs notify and checks the one thing every path shares: silence and status 0.
  void notifyQuietly(std::vector<std::string> arguments, std::string input = {}) {
    const auto result = notify(std::move(arguments), std::move(input));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
  }

  fs::path log() const { return home_.sharedFolder() / "agent-events.jsonl"; }

  std::vector<json> events() const {
    std::vector<json> lines;
    if (!fs::exists(log())) return lines;
    const std::string text = home_.dir().read("home/.local/share/Glimmet/agent-events.jsonl");
    for (size_t start = 0; start < text.size();) {
      const size_t end = text.find('\n', start);
      EXPECT_NE(end, std::string::npos) << "a line without its line feed";
      if (end == std::string::npos) break;
      lines.push_back(json::parse(text.substr(start, end - start)));
      start = end + 1;
    }
    return lines;
  }

  testing::IsolatedHome home_;
};

TEST_F(Notify, ClaudeCodeStopOnStandardInputBecomesOneEvent) {
  beat();
  notifyQuietly({"--agent", "claude-code", "--pid", "4242"}, std::string(kStop));
  const auto recorded = events();
  ASSERT_EQ(recorded.size(), 1u);
  const auto& event = recorded[0];
  EXPECT_THAT(event["id"].get<std::string>(),
              MatchesRegex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}"));
  EXPECT_THAT(event["time"].get<std::string>(),
              MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z"));
  EXPECT_EQ(event["agent"], "Claude Code");
  EXPECT_EQ(event["kind"], "finished");
  EXPECT_EQ(event["cwd"], "/home/dev/app");
  EXPECT_EQ(event["pid"], 4242);
  EXPECT_EQ(event["sessionID"], "s-1");
  EXPECT_FALSE(event.contains("message"));
  struct stat info {};
  ASSERT_EQ(::stat(log().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(Notify, ClaudeCodePayloadMayComeAsTheArgumentAndThePidDefaultsToTheParent) {
  beat();
  notifyQuietly(
      {"--agent", "Claude",
       R"({"hook_event_name":"Notification","message":"Claude needs your permission to use Bash\nmore"})"});
  const auto recorded = events();
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0]["kind"], "needsApproval");
  EXPECT_EQ(recorded[0]["message"], "Claude needs your permission to use Bash");
  // The test itself ran notify, so it is the parent.
  EXPECT_EQ(recorded[0]["pid"], ::getpid());
}

TEST_F(Notify, CodexPayloadIsTheLastArgumentInAnyLetterCase) {
  beat();
  notifyQuietly({"--agent", "CODEX", "--pid", "77",
                 R"({"type":"approval-requested","thread-id":"t-9","conversation-id":"c-1",
                     "cwd":"/w"})"});
  const auto recorded = events();
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0]["agent"], "Codex");
  EXPECT_EQ(recorded[0]["kind"], "needsApproval");
  EXPECT_EQ(recorded[0]["sessionID"], "t-9");
  EXPECT_EQ(recorded[0]["pid"], 77);
}

TEST_F(Notify, NothingIsRecordedWithoutAFreshHeartbeat) {
  notifyQuietly({"--agent", "claude-code"}, std::string(kStop));
  EXPECT_FALSE(fs::exists(home_.sharedFolder()));
  beat(std::chrono::seconds(90));
  notifyQuietly({"--agent", "claude-code"}, std::string(kStop));
  home_.dir().write("home/.local/share/Glimmet/mcp-heartbeat.json", "\x01garbage");
  notifyQuietly({"--agent", "claude-code"}, std::string(kStop));
  EXPECT_FALSE(fs::exists(log()));
}

TEST_F(Notify, PayloadsThatAreNoEventRecordNothing) {
  beat();
  std::mt19937 random(7);
  std::string binary(300'000, '\0');
  for (auto& byte : binary) byte = static_cast<char>(random());
  for (const std::string& payload :
       {std::string(), std::string("not json"), std::string("[1,2]"), binary,
        std::string(R"({"hook_event_name":"Notification","notification_type":"auth_success"})"),
        std::string(R"({"hook_event_name":"SessionStart"})"), std::string(5'000'000, '[')})
    notifyQuietly({"--agent", "claude-code"}, payload);
  notifyQuietly({"--agent", "codex"}, std::string(kStop));  // Codex reads no standard input
  notifyQuietly({"--agent", "codex", R"({"type":"agent-turn-started"})"});
  notifyQuietly({"--agent", "aider", std::string(kStop)});
  EXPECT_FALSE(fs::exists(log()));
}

TEST_F(Notify, OnlyTheFirstMebibyteOfStandardInputIsRead) {
  beat();
  // Valid JSON that ends after 1 MiB: cut short, it is no event.
  const std::string padded =
      R"({"pad":")" + std::string(1'100'000, 'x') + R"(","hook_event_name":"Stop"})";
  notifyQuietly({"--agent", "claude-code"}, padded);
  EXPECT_FALSE(fs::exists(log()));
  // Just under it, the whole payload is read.
  const std::string fits =
      R"({"pad":")" + std::string(1'000'000, 'x') + R"(","hook_event_name":"Stop"})";
  notifyQuietly({"--agent", "claude-code"}, fits);
  EXPECT_EQ(events().size(), 1u);
}

TEST_F(Notify, ATerminalOnStandardInputIsNotRead) {
  beat();
  // Typed at the terminal, the payload would be an event; it must be left unread.
  const auto result = home_.glimmet({"notify", "--agent", "claude-code"},
                                    {.input = std::string(kStop) + "\n", .onTerminal = true});
  EXPECT_EQ(result.status, 0);
  EXPECT_FALSE(fs::exists(log()));
}

TEST_F(Notify, AnUnwritableInboxIsSwallowed) {
  beat();
  fs::create_directories(home_.sharedFolder() / "agent-events.lock");
  notifyQuietly({"--agent", "claude-code"}, std::string(kStop));
  fs::remove(home_.sharedFolder() / "agent-events.lock");
  fs::create_directories(log());
  notifyQuietly({"--agent", "claude-code"}, std::string(kStop));
  EXPECT_TRUE(fs::is_directory(log()));
}

TEST_F(Notify, TwoAtOnceLeaveTwoWholeLines) {
  beat();
  // Large lines (the working directory is kept whole), so a torn write would show.
  const auto payload = [](char fill) {
    return R"({"hook_event_name":"Stop","cwd":"/)" + std::string(100'000, fill) + R"("})";
  };
  auto first = std::async(std::launch::async, [&] {
    return notify({"--agent", "claude-code"}, payload('a'));
  });
  auto second = std::async(std::launch::async, [&] {
    return notify({"--agent", "claude-code"}, payload('b'));
  });
  EXPECT_EQ(first.get().status, 0);
  EXPECT_EQ(second.get().status, 0);
  const auto recorded = events();
  ASSERT_EQ(recorded.size(), 2u);
  std::set<std::string> cwds;
  for (const auto& event : recorded) cwds.insert(event["cwd"].get<std::string>());
  EXPECT_EQ(cwds, (std::set<std::string>{"/" + std::string(100'000, 'a'),
                                         "/" + std::string(100'000, 'b')}));
}

}  // namespace
}  // namespace glimmet
