#include "logic/idle/stop_plan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace glimmet {
namespace {

using ::testing::ElementsAre;

constexpr uid_t kMe = 1000;

IdleCandidate candidate(pid_t pid, std::optional<std::string> protectedReason = std::nullopt) {
  return {.pid = pid,
          .ports = {static_cast<std::uint16_t>(3000 + pid)},
          .name = "vite",
          .project = std::nullopt,
          .uptime = 9000,
          .footprint = 120'000'000,
          .ownedByCurrentUser = true,
          .protectedReason = std::move(protectedReason)};
}

ProcessRecord record(pid_t pid) {
  ProcessRecord r;
  r.identity = {pid, 77};
  r.uid = kMe;
  r.name = "node";
  return r;
}

DevServer server(pid_t pid) {
  DevServer s;
  s.pid = pid;
  s.identity = ProcessIdentity{pid, 55};
  s.ports = {static_cast<std::uint16_t>(3000 + pid)};
  return s;
}

TEST(StopPlanDocument, NothingPlannedIsOneSentenceAndStatusOneInEitherForm) {
  const StopPlanDocument none{IdlePlan::make({}, 2700), 2700};
  EXPECT_THAT(none.lines(), ElementsAre("No idle dev servers."));
  EXPECT_EQ(none.status(OutputFormat::json), ExitStatus::nothingFound);
  EXPECT_EQ(none.toJson()["stop"], nlohmann::json::array());

  const StopPlanDocument onlyProtected{
      IdlePlan::make({candidate(5, "Protected by your rule")}, 2700), 2700};
  EXPECT_THAT(onlyProtected.lines(),
              ElementsAre("No idle dev servers that Glimmet is allowed to stop."));
  EXPECT_EQ(onlyProtected.status(OutputFormat::text), ExitStatus::nothingFound);

  const StopPlanDocument some{IdlePlan::make({candidate(2)}, 2700), 2700};
  EXPECT_EQ(some.lines().front(), "Up at least 45 min:");
  EXPECT_EQ(some.status(OutputFormat::text), ExitStatus::ok);
  EXPECT_EQ(some.toJson()["minimumAgeSeconds"], 2700);
}

TEST(PlannedServers, TheSurveysIdentityAndRepositoryGoWithEachPlannedServer) {
  const auto plan = IdlePlan::make({candidate(2), candidate(3), candidate(4)}, 0);
  auto withRepo = server(2);
  withRepo.repo = RepoStatus{RepoStatus::Kind::repo,
                             RepoInfo{"shop", "/home/me/shop", "shop-login", std::nullopt,
                                      "4f9c2d1", "/home/me/.worktrees/shop-login"}};
  auto unknownStart = server(3);
  unknownStart.identity.reset();
  // Server 4 left the survey's list: it is not planned, whatever the plan said.
  const ProcessSnapshot snapshot({}, {record(2), record(3), record(4)});
  const auto planned = plannedServers(plan, {withRepo, unknownStart}, snapshot);
  ASSERT_EQ(planned.size(), 2u);
  EXPECT_EQ(planned[0].identity, (ProcessIdentity{2, 55})) << "the server's own identity first";
  EXPECT_EQ(planned[0].repoPath, "/home/me/shop");
  EXPECT_EQ(planned[0].worktree, "shop-login");
  EXPECT_EQ(planned[0].branch, "4f9c2d1");
  EXPECT_EQ(planned[1].identity, (ProcessIdentity{3, 77})) << "else the snapshot's";
  EXPECT_FALSE(planned[1].repoPath);

  const ProcessSnapshot gone({}, {record(3)});
  EXPECT_EQ(plannedServers(plan, {withRepo, unknownStart}, gone).size(), 1u)
      << "a server missing from the snapshot is left out";
}

TEST(PlannedServers, EachStopIsOneSentence) {
  const PlannedServer planned{candidate(2), {2, 1}, {}, {}, {}};
  EXPECT_EQ(stopLine(planned, true), "Freed :3002 and 120 MB.");
  EXPECT_EQ(stopLine(planned, false), "Couldn't stop :3002.");
}

}  // namespace
}  // namespace glimmet
