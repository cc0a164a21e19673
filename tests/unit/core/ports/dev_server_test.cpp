#include "core/ports/dev_server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "logic/ports/ls_document.h"
#include "logic/ports/ports_document.h"

namespace glimmet {
namespace {

using std::chrono::seconds;
const auto kNow = std::chrono::system_clock::time_point(seconds(2'000'000'000));
constexpr uid_t kMe = 1000;

ProcessRecord record(pid_t pid, double ageSeconds, std::string name) {
  ProcessRecord r;
  r.identity = {pid, static_cast<std::uint64_t>((2'000'000'000 - ageSeconds) * 1e6)};
  r.ppid = 1;
  r.uid = kMe;
  r.name = std::move(name);
  r.argv = {r.name, "--token", "s3cret"};
  r.cwd = "/home/me/shop";
  r.footprint = 4096;
  return r;
}

DevServerSources sources() {
  DevServerSources s;
  s.repoLookup = [](const std::string& cwd) {
    return RepoStatus{RepoStatus::Kind::repo,
                      RepoInfo{"shop", cwd, "shop-login", std::nullopt, "4f9c2d1", cwd}};
  };
  s.protection = [](const ProcessRecord& r, const std::vector<std::uint16_t>&) {
    return r.name == "postgres"
               ? std::optional(ProtectionReason{.kind = ProtectionReason::Kind::builtInDefault,
                                                .defaultLabel = "Local databases"})
               : std::nullopt;
  };
  s.framework = [](const ProcessRecord& r) {
    return r.name == "vite" ? std::optional<std::string>("Vite") : std::nullopt;
  };
  return s;
}

std::vector<DevServer> build(std::set<pid_t> ghosts = {}) {
  const ProcessSnapshot snapshot(
      kNow, {record(10, 100, "vite"), record(11, 100, "node"), record(12, 1.5, "fresh"),
             record(13, 100, "replaced"), record(14, 100, "postgres")});
  const std::vector<ListeningProcess> listening = {
      {{10, snapshot.record(10)->identity.startTime}, kMe, {5173}},
      {{11, snapshot.record(11)->identity.startTime}, kMe, {3000, 3001}},
      {{12, snapshot.record(12)->identity.startTime}, kMe, {4000}},
      {{13, 42}, kMe, {4001}},  // the pid was reused since the socket scan
      {{14, snapshot.record(14)->identity.startTime}, kMe, {5432}}};
  const std::vector<ForeignListener> foreign = {
      {80, 700, "nginx", 0}, {443, 700, "nginx", 0}, {80, 700, "nginx", 0}, {631, 0, "cups", 7}};
  return DevServerList::build(snapshot, listening, foreign, sources(), ghosts, kMe, kNow);
}

std::vector<pid_t> pids(const std::vector<DevServer>& servers) {
  std::vector<pid_t> out;
  for (const auto& s : servers) out.push_back(s.pid);
  return out;
}

TEST(DevServerList, SortsByGhostThenLowestPortAndSkipsTheYoungAndTheReplaced) {
  EXPECT_EQ(pids(build()), (std::vector<pid_t>{700, 0, 11, 10, 14}));
  EXPECT_EQ(pids(build({14})), (std::vector<pid_t>{14, 700, 0, 11, 10}));
  const auto servers = build();
  EXPECT_EQ(servers[0].id, "foreign-700");
  EXPECT_EQ(servers[0].ports, (std::vector<std::uint16_t>{80, 443}));
  EXPECT_EQ(servers[0].protection->label(), "Owned by another user");
  EXPECT_FALSE(servers[0].commandLine);
  EXPECT_EQ(servers[2].id, servers[2].identity->text());
}

// Sockets whose holder couldn't be read: a line per port with "?" for the pid,
// and the user's own sockets aren't called another user's.
TEST(LsOutput, UnreadableHoldersGetALinePerPortAndTheirOwnersRightLabel) {
  const ProcessSnapshot snapshot(kNow, {record(11, 100, "node")});
  const std::vector<ListeningProcess> listening = {
      {{11, snapshot.record(11)->identity.startTime}, kMe, {3000, 3001, 3002, 3003, 3004}}};
  const std::vector<ForeignListener> foreign = {
      {8080, 0, "me", kMe}, {8081, 0, "me", kMe}, {631, 0, "root", 0}};
  const auto servers = DevServerList::build(snapshot, listening, foreign, sources(), {}, kMe, kNow);
  const auto lines = LsDocument{servers, kNow}.lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], ":631           ?       root  [Owned by another user]");
  // Five ports don't fit in 14 characters; none is cut mid-number.
  EXPECT_EQ(lines[1], ":3000 :3001 +3 11      node  shop-login (4f9c2d1)");
  EXPECT_EQ(lines[2], ":8080          ?       me  [Held by a process Glimmet can't see]");
  EXPECT_EQ(lines[3], ":8081          ?       me  [Held by a process Glimmet can't see]");
  EXPECT_NE(servers[2].id, servers[3].id);
  const auto ports = PortsDocument::from(servers).lines();
  ASSERT_EQ(ports.size(), 8u);
  EXPECT_EQ(ports[0], ":631   ?       root  [Owned by another user]");
  EXPECT_EQ(ports[7], ":8081  ?       me  [Held by a process Glimmet can't see]");
}

TEST(LsOutput, LinesAndDocumentFollowTheColumnsAndMaskSecrets) {
  const auto servers = build();
  const auto lines = LsDocument{servers, kNow}.lines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], ":80 :443       700     nginx  [Owned by another user]");
  EXPECT_EQ(lines[2], ":3000 :3001    11      node  shop-login (4f9c2d1)");
  EXPECT_EQ(lines[3], ":5173          10      Vite  shop-login (4f9c2d1)");
  EXPECT_EQ(lines[4],
            ":5432          14      postgres  shop-login (4f9c2d1)  "
            "[Protected by default: Local databases]");
  const auto document = LsDocument{servers, kNow}.toJson();
  const auto& vite = document["servers"][3];
  EXPECT_EQ(vite["command"], "vite --token \xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2");
  EXPECT_EQ(vite["uptimeSeconds"], 100);
  EXPECT_EQ(vite["branch"], "4f9c2d1");
  EXPECT_EQ(vite["worktree"], "shop-login");
  EXPECT_FALSE(vite.contains("protected"));
  EXPECT_FALSE(document["servers"][0].contains("cwd"));
}

TEST(LsOutput, NoServerIsASentenceForAPersonAndAnEmptyListForAScript) {
  const LsDocument none{{}, kNow};
  EXPECT_THAT(none.lines(), ::testing::ElementsAre("No dev servers."));
  EXPECT_EQ(none.status(OutputFormat::text), ExitStatus::nothingFound);
  EXPECT_EQ(none.status(OutputFormat::json), ExitStatus::ok);
  EXPECT_EQ(none.toJson(), (nlohmann::json{{"schema", 1}, {"servers", nlohmann::json::array()}}));
}

TEST(PortsDocument, OneLinePerPortWithProjectAndTag) {
  const auto document = PortsDocument::from(build());
  const auto lines = document.lines();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], ":80    700     nginx  [Owned by another user]");
  EXPECT_EQ(lines[2], ":631   ?       cups  [Owned by another user]");
  EXPECT_EQ(lines[3], ":3000  11      node  shop-login");
  EXPECT_EQ(lines[4], ":3001  11      node  shop-login");
  const auto json = document.toJson();
  EXPECT_EQ(json["command"], "ports");
  EXPECT_EQ(json["listeners"][5]["name"], "Vite");
  EXPECT_EQ(json["listeners"][5]["project"], "shop-login");
  auto unowned = build();
  unowned[2].protection.reset();
  unowned[2].ownedByCurrentUser = false;
  EXPECT_EQ(PortsDocument::from(unowned).lines()[3],
            ":3000  11      node  shop-login  [owned by another user]");
}

}  // namespace
}  // namespace glimmet
