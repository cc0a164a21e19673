#include "logic/status/status_document.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace glimmet {
namespace {

using ::testing::ElementsAre;

Ghost ghost(pid_t pid, std::uint64_t bytes, std::vector<std::uint16_t> ports) {
  Ghost out;
  out.root.identity = {pid, 1};
  out.footprint = bytes;
  out.ports = std::move(ports);
  return out;
}

DevServer server(pid_t pid, std::uint64_t bytes, std::vector<std::uint16_t> ports) {
  DevServer out;
  out.pid = pid;
  out.identity = ProcessIdentity{pid, 1};
  out.footprint = bytes;
  out.ports = std::move(ports);
  out.ownedByCurrentUser = true;
  return out;
}

Survey survey(std::vector<Ghost> ghosts, std::vector<DevServer> servers, std::size_t sessions = 0) {
  Survey out;
  out.ghosts = std::move(ghosts);
  out.servers = std::move(servers);
  out.sessions.resize(sessions);
  return out;
}

TEST(StatusDocument, OneBigGhostAndNothingElse) {
  const auto document = StatusDocument::from(survey({ghost(10, 2'500'000'000, {3000})}, {}));
  EXPECT_THAT(document.lines(), ElementsAre("1 ghost, 0 dev servers, 0 agent sessions",
                                            "Stopping these frees 2.50 GB and ports 3000."));
  EXPECT_FALSE(document.isEmpty());
}

TEST(StatusDocument, NothingAtAllSaysSo) {
  const auto document = StatusDocument::from(survey({}, {}));
  EXPECT_TRUE(document.isEmpty());
  EXPECT_THAT(document.lines(),
              ElementsAre("0 ghosts, 0 dev servers, 0 agent sessions", "Nothing to stop."));
  EXPECT_EQ(document.toJson(), nlohmann::json({{"schema", 1},
                                               {"command", "status"},
                                               {"ghosts", 0},
                                               {"devServers", 0},
                                               {"agentSessions", 0},
                                               {"memoryBytes", 0},
                                               {"ports", nlohmann::json::array()},
                                               {"summary", "Nothing to stop."}}));
}

TEST(StatusDocument, FreesEachProcessOnceAndOnlyWhatMayBeStopped) {
  auto ghostServer = server(10, 1000, {3000});
  ghostServer.isGhost = true;
  auto foreign = server(20, 5000, {80});
  foreign.ownedByCurrentUser = false;
  foreign.identity.reset();
  auto protectedServer = server(30, 7000, {4000});
  protectedServer.protection = ProtectionReason{};
  auto unknownStart = server(40, 9000, {4001});
  unknownStart.identity->startTime = 0;
  const auto document = StatusDocument::from(survey(
      {ghost(10, 1000, {3000}), ghost(11, 500, {3000})},
      {ghostServer, foreign, protectedServer, unknownStart, server(50, 2000, {5173, 3001})}, 2));
  EXPECT_EQ(document.ghosts, 2u);
  EXPECT_EQ(document.devServers, 4u);  // the foreign listener isn't the user's
  EXPECT_EQ(document.agentSessions, 2u);
  EXPECT_EQ(document.memoryBytes, 3500u);
  EXPECT_THAT(document.ports, ElementsAre(3000, 3001, 5173));
  EXPECT_EQ(document.lines()[0], "2 ghosts, 4 dev servers, 2 agent sessions");
  EXPECT_EQ(document.summary, "Stopping these frees 4 KB and ports 3000, 3001, 5173.");
}

}  // namespace
}  // namespace glimmet
