#include "logic/agents/agent_event_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace glimmet {
namespace {

using AgentEventParser::cleanMessage;
using AgentEventParser::parseClaudeCode;
using AgentEventParser::parseCodex;

const SystemTime kNow = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7};
constexpr std::string_view kEventID = "E621E1F8-C36C-495A-93FC-0C247A3E6E5F";

std::optional<AgentEvent> claude(std::string_view payload) {
  return parseClaudeCode(payload, 4242, kNow, std::string(kEventID));
}

std::optional<AgentEventKind> claudeKind(std::string_view payload) {
  const auto event = claude(payload);
  return event ? std::optional(event->kind) : std::nullopt;
}

TEST(ParseClaudeCode, StopIsAFinishedEventWithEveryField) {
  const auto event = claude(R"({"session_id":"s-1","transcript_path":"/t.jsonl","cwd":"/src/app",
                                "hook_event_name":"Stop","stop_hook_active":false})");
  ASSERT_TRUE(event);
  EXPECT_EQ(*event, (AgentEvent{.id = std::string(kEventID),
                                .time = kNow,
                                .agent = "Claude Code",
                                .kind = AgentEventKind::finished,
                                .cwd = "/src/app",
                                .pid = 4242,
                                .sessionID = "s-1"}));
}

TEST(ParseClaudeCode, NotificationTypeDecidesTheKind) {
  const auto typed = [](std::string_view type) {
    return claudeKind(std::string(R"({"hook_event_name":"Notification","message":"x",)") +
                      "\"notification_type\":\"" + std::string(type) + "\"}");
  };
  EXPECT_EQ(typed("permission_prompt"), AgentEventKind::needsApproval);
  EXPECT_EQ(typed("elicitation_dialog"), AgentEventKind::needsApproval);
  EXPECT_EQ(typed("idle_prompt"), AgentEventKind::waiting);
  EXPECT_EQ(typed("auth_success"), std::nullopt);
  EXPECT_EQ(typed(""), std::nullopt);
}

TEST(ParseClaudeCode, WithoutATypeTheMessageDecides) {
  EXPECT_EQ(claudeKind(R"({"hook_event_name":"Notification",
                           "message":"Claude needs your PERMISSION to use Bash"})"),
            AgentEventKind::needsApproval);
  EXPECT_EQ(claudeKind(R"({"hook_event_name":"Notification","message":"Claude is waiting"})"),
            AgentEventKind::waiting);
  EXPECT_EQ(claudeKind(R"({"hook_event_name":"Notification"})"), AgentEventKind::waiting);
  // A type that is not a string counts as absent.
  EXPECT_EQ(claudeKind(R"({"hook_event_name":"Notification","notification_type":7,
                           "message":"permission?"})"),
            AgentEventKind::needsApproval);
}

TEST(ParseClaudeCode, AnythingElseIsNoEvent) {
  for (const std::string_view payload :
       {"", "   ", "null", "[]", R"("Stop")", "{}", R"({"hook_event_name":7})",
        R"({"hook_event_name":"PreToolUse"})", R"({"hook_event_name":"stop"})",
        R"({"hook_event_name":"Stop"} trailing)", R"({"hook_event_name":"Stop",})",
        "{\"hook_event_name\":\"Stop\",\"cwd\":\"\xFF\"}", "\x00\x01\x02"})
    EXPECT_FALSE(claude(payload)) << payload;
}

TEST(ParseClaudeCode, OptionalFieldsOfTheWrongTypeAreLeftOut) {
  const auto event = claude(R"({"hook_event_name":"Stop","cwd":["/a"],"session_id":12,
                                "message":{"text":"hi"}})");
  ASSERT_TRUE(event);
  EXPECT_FALSE(event->cwd);
  EXPECT_FALSE(event->sessionID);
  EXPECT_FALSE(event->message);
}

TEST(ParseClaudeCode, MessageIsDecodedAndCleaned) {
  const auto event = claude(
      R"({"hook_event_name":"Notification","message":"\n\nCaf\u00e9 \"ready\"\r\nsecond\nthird"})");
  ASSERT_TRUE(event);
  EXPECT_EQ(event->message, "Caf\xC3\xA9 \"ready\"");
}

TEST(ParseClaudeCode, AByteOrderMarkAndDeepNestingAreFine) {
  EXPECT_TRUE(claude("\xEF\xBB\xBF{\"hook_event_name\":\"Stop\"}"));
  const std::string deep = std::string(100'000, '[') + std::string(100'000, ']');
  EXPECT_TRUE(claude(R"({"context":)" + deep + R"(,"hook_event_name":"Stop"})"));
  EXPECT_FALSE(claude(R"({"context":)" + deep + R"(],"hook_event_name":"Stop"})"));
}

TEST(ParseClaudeCode, ARepeatedKeyTakesItsLastValue) {
  EXPECT_EQ(claude(R"({"hook_event_name":"Stop","cwd":"/a","cwd":"/b"})")->cwd, "/b");
  EXPECT_FALSE(claude(R"({"hook_event_name":"Stop","cwd":"/a","cwd":null})")->cwd);
}

TEST(CleanMessage, KeepsTheFirstNonEmptyLine) {
  EXPECT_EQ(cleanMessage("one\ntwo\nthree"), "one");
  EXPECT_EQ(cleanMessage("\r\n\v\fone"), "one");
  EXPECT_EQ(cleanMessage("\xC2\x85\xE2\x80\xA8one\xE2\x80\xA9two"), "one");
  EXPECT_EQ(cleanMessage("\n\n"), "");
  EXPECT_EQ(cleanMessage(""), "");
}

TEST(CleanMessage, ShortensToOneHundredSixtyCharacters) {
  EXPECT_EQ(cleanMessage(std::string(160, 'a')), std::string(160, 'a'));
  EXPECT_EQ(cleanMessage(std::string(200, 'a')), std::string(157, 'a') + "...");
  // Characters, not bytes: 161 two-byte letters are cut to 157 of them.
  std::string accented;
  for (int i = 0; i < 161; ++i) accented += "\xC3\xA9";
  std::string kept;
  for (int i = 0; i < 157; ++i) kept += "\xC3\xA9";
  EXPECT_EQ(cleanMessage(accented), kept + "...");
  // An e with a combining accent is one character: never split from its letter.
  std::string combined;
  for (int i = 0; i < 161; ++i) combined += "e\xCC\x81";
  EXPECT_EQ(cleanMessage(combined).size(), 157 * 3 + 3);
}

TEST(ParseCodex, TurnCompleteAndApproval) {
  const auto event = parseCodex(
      R"({"type":"agent-turn-complete","thread-id":"t-1","conversation-id":"c-1","cwd":"/w",
          "last-assistant-message":"Done","input-messages":["fix it"]})",
      77, kNow, std::string(kEventID));
  ASSERT_TRUE(event);
  EXPECT_EQ(*event, (AgentEvent{.id = std::string(kEventID),
                                .time = kNow,
                                .agent = "Codex",
                                .kind = AgentEventKind::finished,
                                .cwd = "/w",
                                .pid = 77,
                                .sessionID = "t-1"}));
  const auto approval =
      parseCodex(R"({"type":"approval-requested","conversation-id":"c-1"})", 1, kNow, "id");
  ASSERT_TRUE(approval);
  EXPECT_EQ(approval->kind, AgentEventKind::needsApproval);
  EXPECT_EQ(approval->sessionID, "c-1");
  EXPECT_FALSE(approval->message);
}

TEST(ParseCodex, UnknownOrMissingTypeIsNoEvent) {
  for (const std::string_view payload : {R"({"type":"session-start"})", R"({"type":1})", "{}", "[]",
                                         "not json", R"({"type":"agent-turn-complete")"})
    EXPECT_FALSE(parseCodex(payload, 1, kNow, "id")) << payload;
}

}  // namespace
}  // namespace glimmet
