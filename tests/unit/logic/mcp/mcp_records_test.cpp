#include "logic/mcp/mcp_records.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

using nlohmann::json;

// The application reads these lines with its own decoder: keys sorted, no
// spaces, one line however the summary is spelled.
TEST(MCPRecords, ALogEntryIsOneCompactLine) {
  const MCPLogEntry entry{SystemTime(std::chrono::milliseconds(1'500)), "request_quit",
                          "port 3000\nnext", "refused: Owned by another user."};
  EXPECT_EQ(entry.line(),
            "{\"result\":\"refused: Owned by another user.\",\"summary\":\"port 3000\\nnext\","
            "\"time\":\"1970-01-01T00:00:01Z\",\"tool\":\"request_quit\"}");
}

TEST(MCPRecords, AQuitRequestCarriesOnlyTheTargetsItNames) {
  const SystemTime time(std::chrono::seconds(1'800'000'000));
  EXPECT_EQ((MCPQuitRequest{.id = "A", .time = time, .kind = "port", .port = 3000}).toJson(),
            json({{"id", "A"},
                  {"time", "2027-01-15T08:00:00Z"},
                  {"kind", "port"},
                  {"port", 3000},
                  {"status", "pending"}}));
  EXPECT_EQ(
      (MCPQuitRequest{
           .id = "B", .time = time, .kind = "session", .pid = 7, .sessionPID = 42, .note = "why"})
          .toJson(),
      json({{"id", "B"},
            {"time", "2027-01-15T08:00:00Z"},
            {"kind", "session"},
            {"pid", 7},
            {"sessionPID", 42},
            {"note", "why"},
            {"status", "pending"}}));
}

// What is written is read back the same, the answer included; what isn't a
// request is nothing.
TEST(MCPRecords, AQuitRequestReadsBackAsWritten) {
  const MCPQuitRequest answered{.id = "C",
                                .time = SystemTime(std::chrono::seconds(1'800'000'000)),
                                .kind = "pid",
                                .pid = -5,
                                .note = "n",
                                .status = "done",
                                .message = "Stopped 1 process.",
                                .answeredAt = SystemTime(std::chrono::seconds(1'800'000'060))};
  const auto written = answered.toJson();
  EXPECT_EQ(written["answeredAt"], "2027-01-15T08:01:00Z");
  const auto read = MCPQuitRequest::fromJson(written);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->toJson(), written);
  for (const auto& bad : {json::array(), json{{"id", "A"}, {"status", "pending"}},
                          json{{"id", 7}, {"status", "pending"}, {"time", "x"}}})
    EXPECT_FALSE(MCPQuitRequest::fromJson(bad)) << bad.dump();
}

}  // namespace
}  // namespace glimmet
