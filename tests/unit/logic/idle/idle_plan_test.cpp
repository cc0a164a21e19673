#include "logic/idle/idle_plan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

namespace glimmet {
namespace {

using std::chrono::seconds;
using ::testing::ElementsAre;

const auto kNow = std::chrono::system_clock::time_point(seconds(2'000'000'000));

IdleCandidate candidate(pid_t pid, double uptime, bool mine = true,
                        std::optional<std::string> protectedReason = std::nullopt) {
  return {.pid = pid,
          .ports = {static_cast<std::uint16_t>(3000 + pid)},
          .name = "vite",
          .project = std::nullopt,
          .uptime = uptime,
          .footprint = 100'000'000,
          .ownedByCurrentUser = mine,
          .protectedReason = std::move(protectedReason)};
}

std::vector<pid_t> pids(const std::vector<IdleCandidate>& list) {
  std::vector<pid_t> out;
  for (const auto& entry : list) out.push_back(entry.pid);
  return out;
}

TEST(IdlePlan, KeepsTheUsersServersUpAtLeastTheMinimumAgeAndSortsByPID) {
  const double age = IdlePlan::minimumAge(std::nullopt);
  EXPECT_EQ(age, 2700);
  EXPECT_EQ(IdlePlan::minimumAge(10), 600);
  const auto plan =
      IdlePlan::make({candidate(9, 2700), candidate(4, 2699.999), candidate(2, 9000),
                      candidate(7, 9000, false), candidate(5, 9000, true, "Protected by your rule"),
                      candidate(6, 100, true, "Protected by your rule")},
                     age);
  EXPECT_THAT(pids(plan.stop), ElementsAre(2, 9));
  // Another user's server is never shown, not even as left alone.
  EXPECT_THAT(pids(plan.skipped), ElementsAre(5));
}

TEST(IdlePlan, OlderThanZeroTakesServersWithUnknownStarts) {
  const auto plan = IdlePlan::make({candidate(3, 0)}, IdlePlan::minimumAge(0));
  EXPECT_THAT(pids(plan.stop), ElementsAre(3));
}

TEST(IdlePlan, ACandidateTakesItsFactsFromTheServer) {
  DevServer server;
  server.pid = 42;
  server.name = "node";
  server.framework = "Next.js";
  server.ports = {3000, 3001};
  server.startDate = kNow - seconds(90);
  server.footprint = 5;
  server.ownedByCurrentUser = true;
  server.protection = ProtectionReason{.kind = ProtectionReason::Kind::userRule};
  const auto from = IdleCandidate::of(server, kNow);
  EXPECT_EQ(from.name, "Next.js");
  EXPECT_EQ(from.uptime, 90);
  EXPECT_EQ(from.protectedReason, "Protected by your rule");
  server.startDate.reset();
  EXPECT_EQ(IdleCandidate::of(server, kNow).uptime, 0);
  // A clock set back never gives a negative age.
  server.startDate = kNow + seconds(60);
  EXPECT_EQ(IdleCandidate::of(server, kNow).uptime, 0);
}

TEST(IdlePlan, TheTextShowsPortsNameProjectMemoryThenWhatIsLeftAlone) {
  auto shop = candidate(1, 4000);
  shop.ports = {3000, 3001};
  shop.project = "shop";
  auto plan = IdlePlan::make(
      {shop, candidate(2, 4000, true, "Protected by your rule"), candidate(3, 4000, true, "")},
      2700);
  EXPECT_THAT(plan.lines(2700),
              ElementsAre("Up at least 45 min:", "  :3000 :3001  vite  shop  100 MB",
                          "Left alone:", "  vite  Protected by your rule", "  vite  protected",
                          "Stopping these frees 100 MB and ports 3000, 3001."));
}

TEST(IdlePlan, TheDocumentLeavesOutAbsentValuesAndSaysWhenNothingIsIdle) {
  auto shop = candidate(1, 4000.9);
  shop.project = "shop";
  const auto document = IdlePlan::make({shop}, 2700).document(2700);
  EXPECT_EQ(document["command"], "stop");
  EXPECT_EQ(document["idle"], true);
  EXPECT_EQ(document["minimumAgeSeconds"], 2700);
  EXPECT_EQ(document["stop"][0]["uptimeSeconds"], 4000);
  EXPECT_EQ(document["stop"][0]["project"], "shop");
  EXPECT_FALSE(document["stop"][0].contains("protected"));

  const auto empty = IdlePlan::make({}, 2700).document(2700);
  EXPECT_TRUE(empty["stop"].empty());
  EXPECT_EQ(empty["summary"], "Nothing idle to stop.");
}

TEST(StopConfirmation, OnlyYOrYesProceedsAndNothingIsReadWithoutATerminal) {
  const auto answer = [](const std::string& typed) {
    std::istringstream input(typed);
    return confirmation(true, input);
  };
  EXPECT_EQ(answer("yes\n"), StopConfirm::proceed);
  EXPECT_EQ(answer("  YES \r\n"), StopConfirm::proceed);
  EXPECT_EQ(answer("y"), StopConfirm::proceed);
  EXPECT_EQ(answer("yess\n"), StopConfirm::declined);
  EXPECT_EQ(answer("no\n"), StopConfirm::declined);
  EXPECT_EQ(answer("\n"), StopConfirm::declined);
  EXPECT_EQ(answer(""), StopConfirm::declined);

  std::istringstream untouched("yes\n");
  EXPECT_EQ(confirmation(false, untouched), StopConfirm::needsTTY);
  EXPECT_EQ(untouched.tellg(), 0);
}

}  // namespace
}  // namespace glimmet
