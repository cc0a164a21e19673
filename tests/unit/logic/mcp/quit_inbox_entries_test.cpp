#include "logic/mcp/quit_inbox_entries.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

const SystemTime kNow(std::chrono::seconds(1'800'000'000));

json entry(std::string id, SystemTime time, std::string status = "pending") {
  return {{"id", std::move(id)},
          {"time", formatIso8601(time)},
          {"kind", "pid"},
          {"pid", 4242},
          {"status", std::move(status)}};
}

TEST(QuitInboxEntries, PendingRequestsExpireAfterADayOrWhenTheirTimeCantBeRead) {
  auto inbox = json::array({entry("FRESH", kNow - 24h + 1s), entry("OLD", kNow - 24h),
                            entry("DONE", kNow - 48h, "done"), entry("UNREADABLE", kNow)});
  inbox[3]["time"] = "yesterday";
  inbox[1]["appKey"] = "kept";  // the application's own keys survive
  inbox.push_back("not a request");

  EXPECT_EQ(expireStaleRequests(inbox, kNow), 2u);
  EXPECT_EQ(inbox[0]["status"], "pending");
  EXPECT_EQ(inbox[1]["status"], "expired");
  EXPECT_EQ(inbox[1]["message"], "Expired after 24 hours without an answer. Nothing was stopped.");
  EXPECT_EQ(inbox[1]["answeredAt"], formatIso8601(kNow));
  EXPECT_EQ(inbox[1]["appKey"], "kept");
  EXPECT_EQ(inbox[2], entry("DONE", kNow - 48h, "done"));
  EXPECT_EQ(inbox[3]["status"], "expired");
  EXPECT_EQ(inbox[4], "not a request");
  EXPECT_EQ(expireStaleRequests(inbox, kNow), 0u) << "expiry happens once";
}

TEST(QuitInboxEntries, RequestsAreFoundByIDWhateverTheLetterCase) {
  auto inbox = json::array({"junk", entry("6F0C2A3E-AAAA", kNow), entry("B", kNow)});
  ASSERT_NE(findQuitRequest(inbox, "6f0c2a3e-aaaa"), nullptr);
  EXPECT_EQ((*findQuitRequest(inbox, "6f0c2a3e-aaaa"))["id"], "6F0C2A3E-AAAA");
  EXPECT_EQ(findQuitRequest(inbox, "6F0C"), nullptr) << "no prefixes";
  EXPECT_EQ(findQuitRequest(inbox, ""), nullptr);

  writeReceipt(*findQuitRequest(inbox, "B"), {"B", "declined", "You declined."}, kNow);
  EXPECT_EQ(inbox[2]["status"], "declined");
  EXPECT_EQ(inbox[2]["message"], "You declined.");
}

TEST(QuitInboxEntries, OnlyPendingEntriesThatReadAsRequestsAreListed) {
  auto inbox = json::array({entry("A", kNow), entry("B", kNow, "done"), entry("", kNow),
                            json{{"status", "pending"}}, entry("C", kNow)});
  inbox[4]["pid"] = "4242";      // not a number: no pid
  inbox[4]["port"] = 1LL << 40;  // beyond 32 bits: no port
  inbox[4]["note"] = 7;
  const auto pending = readPendingRequests(inbox);
  ASSERT_EQ(pending.size(), 2u);
  EXPECT_EQ(pending[0].id, "A");
  EXPECT_EQ(pending[0].pid, 4242);
  EXPECT_EQ(pending[0].time, kNow);
  EXPECT_EQ(pending[1].id, "C");
  EXPECT_FALSE(pending[1].pid);
  EXPECT_FALSE(pending[1].port);
  EXPECT_FALSE(pending[1].note);
  EXPECT_TRUE(readPendingRequests(json::object()).empty());
}

}  // namespace
}  // namespace glimmet
