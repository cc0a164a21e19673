#include "logic/agents/agent_event.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

const SystemTime kNoon =
    std::chrono::sys_days{std::chrono::year{2026} / 12 / 7} + std::chrono::hours(12);

TEST(AgentEvent, EncodesOneCompactLineInFieldOrder) {
  const AgentEvent event{.id = "ID",
                         .time = kNoon + std::chrono::milliseconds(750),
                         .agent = "Claude Code",
                         .kind = AgentEventKind::needsApproval,
                         .message = "Say \"yes\"",
                         .cwd = "/home/dev/app",
                         .pid = -5,
                         .sessionID = "s"};
  EXPECT_EQ(encodeAgentEventLine(event),
            R"({"id":"ID","time":"2026-12-07T12:00:00Z","agent":"Claude Code",)"
            R"("kind":"needsApproval","message":"Say \"yes\"","cwd":"\/home\/dev\/app",)"
            R"("pid":-5,"sessionID":"s"})"
            "\n");
}

TEST(AgentEvent, AbsentFieldsAreLeftOut) {
  const AgentEvent event{
      .id = "ID", .time = kNoon, .agent = "Codex", .kind = AgentEventKind::waiting};
  EXPECT_EQ(encodeAgentEventLine(event),
            R"({"id":"ID","time":"2026-12-07T12:00:00Z","agent":"Codex","kind":"waiting"})"
            "\n");
}

TEST(AgentEvent, ControlCharactersAndBadUtf8StayOneValidLine) {
  const AgentEvent event{.id = "ID",
                         .time = kNoon,
                         .agent = "Codex",
                         .kind = AgentEventKind::finished,
                         .cwd = std::string("/a\nb\x01\xFF", 6)};
  const auto line = encodeAgentEventLine(event);
  EXPECT_EQ(line.find('\n'), line.size() - 1);
  const auto decoded = decodeAgentEvent(line);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->cwd, "/a\nb\x01\xEF\xBF\xBD");
}

TEST(AgentEvent, DecodesWhatItEncodesInAnyKeyOrder) {
  const AgentEvent event{.id = "ID",
                         .time = kNoon,
                         .agent = "Claude Code",
                         .kind = AgentEventKind::finished,
                         .message = "m",
                         .cwd = "/c",
                         .pid = 12,
                         .sessionID = "s"};
  EXPECT_EQ(decodeAgentEvent(encodeAgentEventLine(event)), event);
  EXPECT_EQ(decodeAgentEvent(R"({"kind":"finished","pid":12,"agent":"Claude Code",
                                 "time":"2026-12-07T13:00:00+01:00","id":"ID","cwd":"/c",
                                 "sessionID":"s","message":"m"})"),
            event);
}

TEST(AgentEvent, RejectsLinesMissingRequiredKeysOrOfTheWrongShape) {
  for (const std::string_view line :
       {R"({"time":"2026-12-07T12:00:00Z","agent":"A","kind":"finished"})",
        R"({"id":"I","agent":"A","kind":"finished"})",
        R"({"id":"I","time":"yesterday","agent":"A","kind":"finished"})",
        R"({"id":"I","time":"2026-12-07T12:00:00Z","agent":"A","kind":"done"})",
        R"({"id":"I","time":"2026-12-07T12:00:00Z","agent":"A","kind":"finished","pid":1e20})",
        R"({"id":"I","time":"2026-12-07T12:00:00Z","agent":"A","kind":"finished","cwd":3})", "[]",
        "", "{"})
    EXPECT_FALSE(decodeAgentEvent(line)) << line;
}

TEST(AgentEvent, ADrainedLogKeepsYoungDecodableEventsInOrder) {
  const auto line = [](SystemTime time, std::string id) {
    return encodeAgentEventLine(
        {.id = std::move(id), .time = time, .agent = "Codex", .kind = AgentEventKind::finished});
  };
  using std::chrono::seconds;
  const std::string log = line(kNoon - seconds(600), "OLD") + line(kNoon - seconds(599), "FIRST") +
                          "not json\n\n{}\n" + line(kNoon + seconds(5), "SECOND") +
                          line(kNoon, "UNENDED").substr(0, 40);
  const auto events = decodeAgentEventLog(log, kNoon);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].id, "FIRST");
  EXPECT_EQ(events[1].id, "SECOND");
  EXPECT_TRUE(decodeAgentEventLog("", kNoon).empty());
  // The last line needs no line feed of its own.
  const auto unended = line(kNoon, "LAST");
  EXPECT_EQ(decodeAgentEventLog(unended.substr(0, unended.size() - 1), kNoon).size(), 1u);
}

TEST(AgentEventKind, RawValues) {
  EXPECT_EQ(toString(AgentEventKind::needsApproval), "needsApproval");
  EXPECT_EQ(agentEventKindFromString("waiting"), AgentEventKind::waiting);
  EXPECT_EQ(agentEventKindFromString("Waiting"), std::nullopt);
}

}  // namespace
}  // namespace glimmet
