#include "logic/ports/ports_document.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace glimmet {
namespace {

using ::testing::ElementsAre;

DevServer server(pid_t pid, std::vector<std::uint16_t> ports, std::string name, bool mine = true) {
  DevServer s;
  s.pid = pid;
  s.ports = std::move(ports);
  s.name = std::move(name);
  s.ownedByCurrentUser = mine;
  return s;
}

TEST(PortsDocument, OneListenerPerPortOrderedByPortThenPID) {
  auto vite = server(42, {5173, 24678}, "node");
  vite.framework = "Vite";
  vite.repo = RepoStatus{RepoStatus::Kind::repo, RepoInfo{"shop", "/home/me/shop", std::nullopt,
                                                          "main", std::nullopt, "/home/me/shop"}};
  // Two holders of one port (SO_REUSEPORT): the lower pid first.
  const auto document = PortsDocument::from(
      {vite, server(900, {80}, "nginx", false), server(77, {5173}, "node"), server(0, {631}, "?")});
  EXPECT_THAT(document.lines(), ElementsAre(":80    900     nginx  [owned by another user]",
                                            ":631   ?       ?", ":5173  42      Vite  shop",
                                            ":5173  77      node", ":24678 42      Vite  shop"));
  EXPECT_EQ(document.status(OutputFormat::text), ExitStatus::ok);
}

TEST(PortsDocument, TheJSONLeavesOutWhatIsUnknownAndAProtectionWinsOverTheOwnerTag) {
  auto database = server(14, {5432}, "postgres", false);
  database.protection = ProtectionReason{.kind = ProtectionReason::Kind::builtInDefault,
                                         .defaultLabel = "Local databases"};
  const auto document = PortsDocument::from({database, server(15, {3000}, "node")});
  EXPECT_EQ(document.lines()[1],
            ":5432  14      postgres  [Protected by default: Local databases]");
  const auto json = document.toJson();
  EXPECT_EQ(json["schema"], 1);
  EXPECT_EQ(json["command"], "ports");
  EXPECT_EQ(json["listeners"][0],
            (nlohmann::json{
                {"port", 3000}, {"pid", 15}, {"name", "node"}, {"ownedByCurrentUser", true}}));
  EXPECT_EQ(json["listeners"][1]["protected"], "Protected by default: Local databases");
}

TEST(PortsDocument, NoListenerIsOneSentenceAndStatusOneEvenInJSON) {
  const auto none = PortsDocument::from({});
  EXPECT_THAT(none.lines(), ElementsAre("No listening ports."));
  EXPECT_EQ(none.status(OutputFormat::text), ExitStatus::nothingFound);
  EXPECT_EQ(none.status(OutputFormat::json), ExitStatus::nothingFound);
  EXPECT_EQ(none.toJson()["listeners"], nlohmann::json::array());
}

TEST(PortsDocument, NamesFromOtherPeoplesProcessesCannotForgeALine) {
  const auto document = PortsDocument::from({server(5, {3000}, "evil\n:22    1       sshd")});
  ASSERT_EQ(document.lines().size(), 1u);
  EXPECT_EQ(document.lines()[0].find('\n'), std::string::npos);
}

}  // namespace
}  // namespace glimmet
