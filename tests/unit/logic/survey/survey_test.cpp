#include "logic/survey/survey.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/recorded_process.h"
#include "support/shipped_data.h"

#include "logic/status/status_document.h"

namespace glimmet {
namespace {

using ::testing::ElementsAre;

using testing::recorded::kMe;
using testing::recorded::kNow;

ProcessRecord process(pid_t pid, pid_t ppid, std::vector<std::string> argv, uid_t uid = kMe) {
  return testing::recorded::process(pid, ppid, std::move(argv), uid, 1000);
}

ListeningProcess listening(const ProcessRecord& record, std::vector<std::uint16_t> ports) {
  return {record.identity, record.uid, std::move(ports)};
}

// A recorded machine: an agent with a dev server it runs, a dev server whose
// agent is long gone, a local database, and another user's web server.
struct Machine {
  std::vector<ProcessRecord> records = {
      process(1, 0, {"/sbin/init"}, 0),
      process(900, 1, {"/usr/bin/zsh"}),
      process(1000, 900, {"/home/me/.local/bin/claude"}),
      process(1001, 1000, {"node", "/home/me/shop/node_modules/.bin/vite"}),
      process(2000, 1, {"node", "/home/me/shop/node_modules/.bin/vite", "--port", "3000"}),
      process(2100, 1, {"/usr/lib/postgresql/15/bin/postgres"}),
      process(3000, 1, {"/usr/sbin/nginx"}, 0),
  };
  SystemFacts facts;
  ProtectedList protectedList;
  ProtectionContext context = ProtectionContext::forCommand(kMe, 99999, "/usr/local/bin/glimmet");

  Machine() {
    const ProcessSnapshot snapshot(kNow, records);
    facts.listening = {listening(*snapshot.record(1001), {5173}),
                       listening(*snapshot.record(2000), {3000}),
                       listening(*snapshot.record(2100), {5432})};
    facts.allListeners = [] {
      // The user's own listeners are in this list too; only the others' stay.
      return std::vector<ForeignListener>{{80, 3000, "nginx", 0}, {3000, 2000, "node", kMe}};
    };
    facts.repoOf = [](const std::string& cwd) {
      return RepoStatus{RepoStatus::Kind::repo,
                        RepoInfo{"shop", cwd, std::nullopt, "main", std::nullopt, cwd}};
    };
  }

  Survey survey(const SignatureEngine* signatures = &testing::shippedSignatures(),
                std::string ancestry = "[]") const {
    const ListRules rules{protectedList, context, systemProcessTable(), 60};
    return Survey::of(ProcessSnapshot(kNow, records), facts, rules, signatures,
                      AncestryRecorder::fromJson(ancestry));
  }
};

std::vector<pid_t> serverPIDs(const Survey& survey) {
  std::vector<pid_t> pids;
  for (const auto& server : survey.servers) pids.push_back(server.pid);
  return pids;
}

TEST(Survey, EveryListDescribesTheSameSnapshot) {
  const auto survey = Machine().survey();
  EXPECT_EQ(survey.snapshot.takenAt(), kNow);
  ASSERT_EQ(survey.ghosts.size(), 1u);
  EXPECT_EQ(survey.ghosts[0].root.pid(), 2000);
  EXPECT_EQ(survey.ghosts[0].origin.kind, Origin::Kind::orphanedDevServer);

  // The ghost leads the servers; then the lowest port.
  EXPECT_THAT(serverPIDs(survey), ElementsAre(2000, 3000, 1001, 2100));
  EXPECT_TRUE(survey.servers[0].isGhost);
  EXPECT_FALSE(survey.servers[1].ownedByCurrentUser);
  EXPECT_EQ(survey.servers[2].framework, "Vite");
  EXPECT_EQ(survey.servers[3].protection->label(), "Protected by default: Local databases");

  ASSERT_EQ(survey.sessions.size(), 1u);
  const auto& session = survey.sessions[0];
  EXPECT_EQ(session.pid, 1000);
  EXPECT_EQ(session.agent, "Claude Code");
  EXPECT_EQ(session.project, "shop");
  EXPECT_THAT(session.ports, ElementsAre(5173));
  ASSERT_EQ(session.children.size(), 1u);
  EXPECT_EQ(session.children[0].kind, SessionChildKind::devServer);

  const auto status = StatusDocument::from(survey);
  EXPECT_EQ(status.ghosts, 1u);
  EXPECT_EQ(status.devServers, 3u) << "the user's own, the ghost among them";
  EXPECT_EQ(status.agentSessions, 1u);
  EXPECT_THAT(status.ports, ElementsAre(3000, 5173)) << "the database is protected";
}

TEST(Survey, WithoutSignaturesThereAreServersOnlyAndNoneIsNamedOrAGhost) {
  const auto survey = Machine().survey(nullptr);
  EXPECT_TRUE(survey.ghosts.empty());
  EXPECT_TRUE(survey.sessions.empty());
  EXPECT_THAT(serverPIDs(survey), ElementsAre(3000, 2000, 1001, 2100));
  for (const auto& server : survey.servers) {
    EXPECT_FALSE(server.framework) << server.pid;
    EXPECT_FALSE(server.isGhost) << server.pid;
  }
}

TEST(Survey, TheUsersManagerIsAReaperAndWhatTheServiceManagerRunsIsNoGhost) {
  Machine machine;
  // A desktop session: orphans go to the user's systemd, known by its cgroup.
  machine.records.push_back(process(800, 1, {"/usr/lib/systemd/systemd"}));
  machine.records.push_back(process(2200, 800, {"node", "node_modules/.bin/vite"}));
  machine.records.push_back(process(2300, 800, {"node", "node_modules/.bin/astro", "dev"}));
  machine.facts.cgroupOf = [](pid_t pid) -> std::optional<std::string> {
    if (pid != 800) return std::nullopt;
    return "/user.slice/user-1000.slice/user@1000.service/init.scope";
  };
  machine.facts.isManagedJob = [](pid_t pid) { return pid == 2300; };
  std::vector<pid_t> ghosts;
  for (const auto& ghost : machine.survey().ghosts) ghosts.push_back(ghost.root.pid());
  EXPECT_THAT(ghosts, ElementsAre(2000, 2200));
}

TEST(Survey, ARecordedChainNamesTheAgentAndTheUsersRulesApply) {
  Machine machine;
  const auto& orphan = machine.records[4];
  const std::string ancestry =
      R"([{"pid": 2000, "startTime": )" + std::to_string(orphan.identity.startTime) +
      R"(, "recordedAt": 1, "chain": [{"pid": 4000, "startTime": 1, "name": "claude",
          "root": {"id": "claude-code", "agent": "Claude Code", "kind": "agent"}}]}])";
  const auto survey = machine.survey(&testing::shippedSignatures(), ancestry);
  ASSERT_EQ(survey.ghosts.size(), 1u);
  EXPECT_EQ(survey.ghosts[0].origin.fullLabel(), "Claude Code");

  machine.protectedList.userRules.push_back({ProtectedList::UserRule::Kind::port, "3000"});
  const auto ruled = machine.survey(&testing::shippedSignatures(), ancestry);
  EXPECT_TRUE(ruled.ghosts.empty()) << "a protected process is never a ghost";
  EXPECT_EQ(ruled.servers[0].pid, 3000);
  EXPECT_TRUE(ruled.servers[1].protection);
}

}  // namespace
}  // namespace glimmet
