#include "core/ghosts/ghost_scanner.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "support/shipped_data.h"

#include "platform/files.h"

namespace glimmet {
namespace {

using std::chrono::seconds;
using Kind = Origin::Kind;

const SignatureEngine& shipped() {
  return testing::shippedSignatures();
}

constexpr uid_t kMe = 1000;
const auto kNow = std::chrono::system_clock::time_point(seconds(2'000'000'000));
constexpr std::uint64_t kLongAgo = 1'999'990'000ULL * 1'000'000;  // 10,000 s before kNow

ProcessRecord process(pid_t pid, pid_t ppid, std::vector<std::string> argv, uid_t uid = kMe,
                      std::uint64_t startTime = kLongAgo) {
  ProcessRecord r;
  r.identity = {pid, startTime + static_cast<std::uint64_t>(pid)};
  r.ppid = ppid;
  r.uid = uid;
  r.name = argv.empty() ? "x" : argv.front().substr(argv.front().rfind('/') + 1);
  r.argv = std::move(argv);
  r.path = "/home/me/bin/" + r.name;
  r.footprint = 1000;
  return r;
}

const ProcessRecord kInit = process(1, 0, {"/sbin/init"}, 0);

struct Scan {
  std::vector<ProcessRecord> records;
  std::string ancestry = "[]";
  ProtectedList rules;
  double minimumAge = 60;
  GhostScanFacts facts;

  GhostReport run() {
    records.insert(records.begin(), kInit);
    GhostScanner scanner(shipped(), AncestryRecorder::fromJson(ancestry));
    auto context = ProtectionContext::forCommand(kMe, 99999, "/usr/local/bin/glimmet");
    return scanner.scan(ProcessSnapshot(kNow, records), rules, context, minimumAge, facts);
  }
};

std::function<std::vector<std::uint16_t>(pid_t)> portsFrom(
    std::map<pid_t, std::vector<std::uint16_t>> ports) {
  return [ports = std::move(ports)](pid_t pid) {
    const auto found = ports.find(pid);
    return found == ports.end() ? std::vector<std::uint16_t>{} : found->second;
  };
}

std::vector<pid_t> pids(const GhostReport& report) {
  std::vector<pid_t> out;
  for (const auto& ghost : report.ghosts) out.push_back(ghost.root.pid());
  return out;
}

std::string recordFor(const ProcessRecord& p, pid_t agentPID, std::uint64_t agentStart) {
  return R"({"pid": )" + std::to_string(p.pid()) + R"(, "startTime": )" +
         std::to_string(p.identity.startTime) + R"(, "recordedAt": 786000000.5, "chain": [
            {"pid": )" +
         std::to_string(agentPID) + R"(, "startTime": )" + std::to_string(agentStart) +
         R"(, "name": "claude",
             "root": {"id": "claude-code", "agent": "Claude Code", "kind": "agent"}}]})";
}

TEST(GhostScanner, AnOrphanedDevServerIsNamedAfterItsFramework) {
  Scan scan;
  scan.records = {process(200, 1, {"node", "/app/node_modules/.bin/vite", "--port", "5173"})};
  scan.facts.portsOf = portsFrom({{200, {5173}}});
  const auto report = scan.run();
  ASSERT_EQ(pids(report), std::vector<pid_t>{200});
  const auto& ghost = report.ghosts[0];
  EXPECT_EQ(ghost.label, "Vite dev server");
  EXPECT_EQ(ghost.origin.kind, Kind::orphanedDevServer);
  EXPECT_EQ(ghost.ports, std::vector<std::uint16_t>{5173});
}

TEST(GhostScanner, WhatMatchesNothingOrIsTooYoungOrNotMineIsNoGhost) {
  Scan scan;
  scan.records = {process(200, 1, {"/usr/local/bin/mytool", "serve"}),
                  process(201, 1, {"node", "node_modules/.bin/vite"}, kMe,
                          1'999'999'990ULL * 1'000'000),  // 10 s old
                  process(202, 1, {"node", "node_modules/.bin/vite"}, 1001)};
  auto zombie = process(203, 1, {"node", "node_modules/.bin/vite"});
  zombie.status = ProcessStatus::zombie;
  scan.records.push_back(zombie);
  const auto report = scan.run();
  EXPECT_TRUE(report.ghosts.empty());
  EXPECT_TRUE(report.protectedMatches.empty()) << "other users and zombies never appear";
}

TEST(GhostScanner, AChildOfARunningAgentIsNoGhostButIsOnceTheAgentIsGone) {
  const auto agent = process(100, 1, {"/home/me/.local/bin/claude"});
  const auto child = process(300, 100, {"node", "node_modules/.bin/vite"});
  Scan alive;
  alive.records = {agent, child};
  EXPECT_TRUE(alive.run().ghosts.empty());

  auto orphan = child;
  orphan.ppid = 1;
  Scan gone;
  gone.records = {orphan};
  gone.ancestry = "[" + recordFor(orphan, agent.pid(), agent.identity.startTime) + "]";
  const auto report = gone.run();
  ASSERT_EQ(pids(report), std::vector<pid_t>{300});
  EXPECT_EQ(report.ghosts[0].origin, Origin::exact("Claude Code", agent.identity));
  EXPECT_EQ(report.ghosts[0].chainAtBirth.size(), 1u);

  // A new process that reuses the agent's pid is not the agent: still a ghost.
  Scan reused;
  reused.records = {process(100, 1, {"/usr/bin/less"}, kMe, kLongAgo + 5), orphan};
  reused.ancestry = gone.ancestry;
  EXPECT_EQ(pids(reused.run()), std::vector<pid_t>{300});
}

TEST(GhostScanner, AnAgentRunByAnInterpreterKeepsItsTreeAlive) {
  // "node /usr/local/bin/gemini" re-running itself with a bigger heap.
  const auto gemini = process(100, 1, {"node", "/usr/local/bin/gemini"});
  const auto heap =
      process(101, 100, {"/usr/bin/node", "--max-old-space-size=8192", "/usr/local/bin/gemini"});
  const auto server = process(300, 101, {"node", "node_modules/.bin/vite"});
  Scan scan;
  scan.records = {gemini, heap, server};
  scan.minimumAge = 0;
  const auto report = scan.run();
  EXPECT_TRUE(report.ghosts.empty());
  EXPECT_TRUE(report.protectedMatches.empty());
}

TEST(GhostScanner, AnAgentsDaemonIsLeftBehindOnlyOnceNoSessionOfItsAgentRuns) {
  const std::string bin = "/home/me/.codex/packages/app-server-daemon/releases/0.169.0/bin/codex";
  const auto daemon =
      process(200, 1, {bin, "app-server", "--listen", "unix://", "--managed-daemon"});
  auto server = process(201, 200, {"/usr/bin/python3", "-m", "http.server"});
  server.path = "/usr/bin/python3.11";
  const auto otherSession = process(150, 1, {"codex", "--model", "o4"});

  Scan inUse;
  inUse.records = {otherSession, daemon, server};
  EXPECT_TRUE(inUse.run().ghosts.empty()) << "another Codex session still uses it";

  Scan left;
  left.records = {daemon, server};
  left.facts.portsOf = portsFrom({{201, {8000}}});
  const auto report = left.run();
  ASSERT_EQ(pids(report), std::vector<pid_t>{200}) << "its server goes with it, not alone";
  EXPECT_EQ(report.ghosts[0].origin, Origin::likely("Codex", "command line"));
  EXPECT_EQ(report.ghosts[0].label, "Codex helper");
  EXPECT_EQ(report.ghosts[0].ports, std::vector<std::uint16_t>{8000});
  EXPECT_EQ(report.ghosts[0].members.size(), 1u);
  EXPECT_TRUE(report.protectedMatches.empty()) << "named codex, yet no agent to protect";
}

TEST(GhostScanner, LikelyOriginsComeFromTheEnvironmentThenTheCommandLine) {
  auto fromEnv = process(200, 1, {"node", "node_modules/.bin/vite"});
  fromEnv.environment = {"HOME=/home/me", "CLAUDECODE=1"};
  auto fromPath = process(201, 1, {"node", "/home/me/.codex/worktrees/a/node_modules/.bin/vite"});
  Scan scan;
  scan.records = {fromEnv, fromPath};
  const auto report = scan.run();
  ASSERT_EQ(report.ghosts.size(), 2u);
  EXPECT_EQ(report.ghosts[0].origin, Origin::likely("Claude Code", "environment"));
  EXPECT_EQ(report.ghosts[1].origin.kind, Kind::likely);
  EXPECT_EQ(report.ghosts[1].origin.basis, "command line");
  EXPECT_EQ(report.ghosts[1].origin.fullLabel(), "likely " + report.ghosts[1].origin.agent);
}

TEST(GhostScanner, ATreeIsOneGhostWithItsMembersPortsAndMemory) {
  Scan scan;
  scan.records = {process(200, 1, {"node", "node_modules/.bin/next", "dev"}),
                  process(201, 200, {"node", "node_modules/.bin/vite"}),
                  process(202, 201, {"esbuild", "--service=0.21.5", "--ping"})};
  scan.facts.portsOf = portsFrom({{200, {3000}}, {202, {3001, 3000}}});
  const auto report = scan.run();
  ASSERT_EQ(pids(report), std::vector<pid_t>{200});
  const auto& ghost = report.ghosts[0];
  EXPECT_EQ(ghost.members.size(), 2u);
  EXPECT_EQ(ghost.ports, (std::vector<std::uint16_t>{3000, 3001}));
  EXPECT_EQ(ghost.footprint, 3000u);
}

TEST(GhostScanner, ProtectedMatchesAreKeptApartAndShieldTheirTrees) {
  Scan scan;
  const auto server = process(200, 1, {"node", "node_modules/.bin/next", "dev"});
  auto child = process(201, 200, {"node", "node_modules/.bin/vite"});
  scan.records = {server, child};
  scan.ancestry = "[" + recordFor(child, 150, 1) + "]";  // the child has a dead agent too
  scan.rules.userRules = {{ProtectedList::UserRule::Kind::commandGlob, "*next dev*"}};
  const auto report = scan.run();
  EXPECT_TRUE(report.ghosts.empty());
  ASSERT_EQ(report.protectedMatches.size(), 1u);
  EXPECT_EQ(report.protectedMatches[0].reason.label(), "Protected by your rule");
}

TEST(GhostScanner, ManagedServicesAndLiveParentsAreLeftAlone) {
  Scan scan;
  scan.records = {process(200, 1, {"node", "node_modules/.bin/vite"}),
                  process(201, 1, {"node", "node_modules/.bin/astro", "dev"}),
                  process(210, 1, {"/usr/lib/systemd/systemd", "--user"}),
                  process(211, 210, {"node", "node_modules/.bin/vite"}),
                  process(212, 150, {"node", "node_modules/.bin/vite"})};
  scan.facts.isManagedJob = [](pid_t pid) { return pid == 201; };
  scan.facts.reaperPIDs = {1, 210};
  EXPECT_EQ(pids(scan.run()), (std::vector<pid_t>{200, 211}))
      << "re-parented to the user's manager counts; a missing parent that isn't a reaper doesn't";
}

TEST(GhostScanner, GhostsComeOldestFirstAndSignaturesNeedingAnAncestorNeverStandAlone) {
  Scan scan;
  scan.records = {process(300, 1, {"node", "node_modules/.bin/vite"}, kMe, kLongAgo + 5),
                  process(200, 1, {"node", "node_modules/.bin/vite"}, kMe, kLongAgo + 100)};
  const auto report = scan.run();
  EXPECT_EQ(pids(report), (std::vector<pid_t>{200, 300}));
  EXPECT_EQ(displayCommand(report.ghosts[0].root), "node vite");

  // A watcher orphaned on its own is not reported; inside an orphaned tree it is a member.
  Scan alone;
  alone.records = {process(400, 1, {"node", "/app/node_modules/.bin/nodemon", "server.js"})};
  EXPECT_TRUE(alone.run().ghosts.empty());
  Scan inTree;
  inTree.records = {process(400, 1, {"node", "/app/node_modules/.bin/vite"}),
                    process(401, 400, {"node", "/app/node_modules/.bin/nodemon", "server.js"})};
  const auto tree = inTree.run();
  ASSERT_EQ(pids(tree), std::vector<pid_t>{400});
  EXPECT_EQ(tree.ghosts[0].members.size(), 1u);
}

TEST(DisplayCommand, ProgramAndFirstOperandWithSecretsMasked) {
  EXPECT_EQ(displayCommand(process(5, 1, {"/usr/bin/python3", "-u", "/srv/app.py", "x"})),
            "python3 app.py");
  EXPECT_EQ(displayCommand(process(5, 1, {"tool", "--token", "hunter2"})),
            "tool \xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2");
  EXPECT_EQ(displayCommand(process(5, 1, {"tool", "--verbose"})), "tool");
  const std::string secret = "abcdefghij0123456789abcdefghij0123456789";
  EXPECT_EQ(displayCommand(process(5, 1, {"tool", secret})),
            "tool \xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2");
  auto unknown = process(5, 1, {});
  unknown.name = "kworker";
  EXPECT_EQ(displayCommand(unknown), "kworker");
}

// A scan reads what costs a read of its own (environment, executable, ports)
// only of the processes that could be ghosts, not of every process of the user.
TEST(GhostScanner, ReadsTheEnvironmentExecutableAndPortsOfCandidatesOnly) {
  Scan scan;
  scan.records = {process(300, 1, {"node", "/app/node_modules/.bin/vite"}),
                  process(400, 1, {"/bin/bash"}), process(401, 400, {"sleep", "1000"}),
                  process(402, 400, {"node", "/srv/api/server.js"})};
  std::set<pid_t> environments, paths, ports;
  for (auto& record : scan.records) {
    const pid_t pid = record.pid();
    record.environment = Deferred<std::vector<std::string>>::later([&environments, pid] {
      environments.insert(pid);
      return std::vector<std::string>{"HOME=/home/me"};
    });
    record.path = Deferred<std::optional<std::string>>::later(
        [&paths, pid, name = record.name]() -> std::optional<std::string> {
          paths.insert(pid);
          return "/usr/bin/" + name;
        });
  }
  scan.facts.portsOf = [&ports](pid_t pid) {
    ports.insert(pid);
    return std::vector<std::uint16_t>{};
  };
  const auto report = scan.run();
  EXPECT_EQ(pids(report), std::vector<pid_t>{300});
  EXPECT_EQ(environments, std::set<pid_t>{300});
  // The re-parented shell is asked its signatures; the shell's children never are.
  EXPECT_EQ(paths, (std::set<pid_t>{300, 400}));
  EXPECT_EQ(ports, std::set<pid_t>{300});
}

}  // namespace
}  // namespace glimmet
