#include "core/process/process_snapshot.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

ProcessRecord record(pid_t pid, pid_t ppid, std::vector<std::string> argv = {}) {
  ProcessRecord r;
  r.identity = {pid, 1'000'000};
  r.ppid = ppid;
  r.name = "p" + std::to_string(pid);
  r.argv = std::move(argv);
  return r;
}

std::vector<pid_t> pidsOf(const std::vector<const ProcessRecord*>& records) {
  std::vector<pid_t> pids;
  for (const auto* r : records) pids.push_back(r->pid());
  return pids;
}

const auto kNow = std::chrono::system_clock::time_point(std::chrono::seconds(100));

TEST(ProcessSnapshot, WalksDescendantsBreadthFirstInEnumerationOrder) {
  const ProcessSnapshot snapshot(kNow, {record(1, 0), record(10, 1), record(11, 10), record(12, 10),
                                        record(20, 11), record(13, 1)});
  EXPECT_EQ(pidsOf(snapshot.children(10)), (std::vector<pid_t>{11, 12}));
  EXPECT_EQ(pidsOf(snapshot.descendants(10)), (std::vector<pid_t>{11, 12, 20}));
  EXPECT_EQ(pidsOf(snapshot.descendants(1)), (std::vector<pid_t>{10, 13, 11, 12, 20}));
  EXPECT_TRUE(snapshot.descendants(20).empty());
  EXPECT_TRUE(snapshot.descendants(999).empty());
}

TEST(ProcessSnapshot, DepthCountsParentSteps) {
  const ProcessSnapshot snapshot(kNow, {record(1, 0), record(10, 1), record(11, 10)});
  EXPECT_EQ(snapshot.depth(11, 11), 0);
  EXPECT_EQ(snapshot.depth(11, 10), 1);
  EXPECT_EQ(snapshot.depth(11, 1), 2);
  EXPECT_FALSE(snapshot.depth(10, 11));
  EXPECT_FALSE(snapshot.depth(999, 1));
}

TEST(ProcessSnapshot, ParentLoopsStayFinite) {
  const ProcessSnapshot snapshot(kNow, {record(5, 6), record(6, 5), record(7, 7)});
  EXPECT_EQ(pidsOf(snapshot.descendants(5)), (std::vector<pid_t>{6}));
  EXPECT_FALSE(snapshot.depth(5, 1));
  EXPECT_FALSE(snapshot.depth(7, 1));
}

TEST(ProcessSnapshot, ALaterRecordForThePidReplacesTheEarlierOne) {
  auto first = record(10, 1, {"old"});
  auto second = record(10, 2, {"new"});
  const ProcessSnapshot snapshot(kNow, {first, record(11, 10), second});
  ASSERT_EQ(snapshot.size(), 2u);
  EXPECT_EQ(snapshot.record(10)->commandLine(), "new");
  EXPECT_EQ(snapshot.record(10)->ppid, 2);
  EXPECT_EQ(snapshot.takenAt(), kNow);
}

TEST(ProcessRecord, DerivesCommandLineAgeAndEnvironment) {
  auto r = record(42, 1, {"node", "server.js", "--port", "3000"});
  r.environment = {"PATH=/bin", "PORT=3000", "EMPTY="};
  EXPECT_EQ(r.commandLine(), "node server.js --port 3000");
  EXPECT_EQ(record(43, 1).commandLine(), "p43");  // another user's process: no arguments
  EXPECT_DOUBLE_EQ(r.age(kNow), 99.0);
  EXPECT_EQ(r.startDate(), std::chrono::system_clock::time_point(std::chrono::seconds(1)));
  EXPECT_EQ(r.environmentValue("PORT"), "3000");
  EXPECT_EQ(r.environmentValue("EMPTY"), "");
  EXPECT_FALSE(r.environmentValue("POR"));
  EXPECT_EQ(r.identity.text(), "42@1000000");
}

}  // namespace
}  // namespace glimmet
