#include "logic/mcp/safety_gate.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

using Input = SafetyGate::Input;

TEST(SafetyGate, FirstRuleThatAppliesDecides) {
  struct Case {
    Input input;
    const char* verdict;
    const char* reason;
  };
  const Case cases[] = {
      {{}, "leaveAlone", "Nothing of yours matches."},
      {{.found = true, .system = true, .otherUser = true}, "leaveAlone", "Owned by another user."},
      {{.found = true, .system = true, .glimmet = true},
       "leaveAlone",
       "System process. Glimmet leaves it alone."},
      {{.found = true, .glimmet = true, .isSession = true}, "leaveAlone", "Glimmet itself."},
      {{.found = true, .protectedReason = "Protected by default: AI agents", .isSession = true},
       "askFirst",
       "This is a live agent session. Glimmet will ask you before quitting it and everything it "
       "started."},
      {{.found = true, .protectedReason = "Protected by your rule", .isSession = true},
       "leaveAlone",
       "Protected by your rule. Glimmet will not stop it."},
      {{.found = true, .protectedReason = "Protected by default: AI agents"},
       "leaveAlone",
       "Protected by default: AI agents. Glimmet will not stop it."},
      {{.found = true},
       "askFirst",
       "Glimmet will ask you through the companion or glimmet requests before it stops anything."},
  };
  for (const auto& [input, verdict, reason] : cases) {
    const auto result = SafetyGate::verdict(input);
    EXPECT_EQ(result.verdict, verdict) << reason;
    EXPECT_EQ(result.reason, reason);
  }
}

TEST(SafetyGate, CarriesTheNameWheneverFound) {
  EXPECT_EQ(SafetyGate::verdict({.found = true, .name = "node", .otherUser = true}).name, "node");
  EXPECT_FALSE(SafetyGate::verdict({.name = "node"}).name);
}

TEST(MCPTarget, TextNamesTheSessionFirst) {
  EXPECT_EQ((MCPTarget{.pid = 7, .port = 3000, .sessionPID = 42}).text(), "session 42");
  EXPECT_EQ((MCPTarget{.pid = 7, .port = 3000}).text(), "pid 7 port 3000");
  EXPECT_EQ((MCPTarget{.port = 3000}).text(), "port 3000");
  EXPECT_EQ((MCPTarget{.pid = 7}).text(), "pid 7");
  EXPECT_EQ(MCPTarget{}.text(), "unknown");
}

ProcessRecord record(pid_t pid, uid_t uid, std::string name, std::string path) {
  ProcessRecord r;
  r.identity = {pid, 1'000'000};
  r.uid = uid;
  r.name = std::move(name);
  r.path = std::move(path);
  r.argv = {*r.path};
  return r;
}

class SafetyFacts : public ::testing::Test {
 protected:
  SafetyFacts() {
    context_.currentUID = 1000;
    context_.ownPID = 500;
    context_.ownExecutablePath = "/opt/glimmet/bin/glimmet";
    system_.pathPrefixes = {"/usr/sbin/"};
    system_.names = {"sshd"};
    system_.namePrefixes = {"systemd-"};
    snapshot_ = ProcessSnapshot(
        {},
        {record(50, 1000, "early", "/opt/early"), record(200, 1000, "node", "/usr/bin/node"),
         record(201, 65534, "nobody-sleep", "/usr/bin/sleep"),
         record(202, 1000, "cron", "/usr/sbin/cron"), record(203, 1000, "systemd-oomd", "/opt/x"),
         record(204, 1000, "glimmet", "/opt/glimmet/bin/glimmet"),
         record(205, 1000, "claude", "/home/me/.local/bin/claude")});
    DevServer server;
    server.pid = 200;
    server.ports = {3000};
    server.name = "node";
    server.framework = "Next.js";
    server.ownedByCurrentUser = true;
    servers_.push_back(server);
  }

  MCPSafetyVerdict ask(MCPTarget target) const {
    const SafetyView view{snapshot_, servers_, sessions_, context_, rules_, system_};
    return SafetyGate::verdict(safetyFacts(target, view));
  }

  ProtectionContext context_;
  SystemProcessTable system_;
  ProtectedList rules_;
  ProcessSnapshot snapshot_;
  std::vector<DevServer> servers_;
  std::vector<SessionRoot> sessions_;
};

TEST_F(SafetyFacts, PIDsAreJudgedByOwnerSystemRulesAndProtection) {
  EXPECT_EQ(
      ask({.pid = 200}).reason,
      "Glimmet will ask you through the companion or glimmet requests before it stops anything.");
  EXPECT_EQ(ask({.pid = 201}).reason, "Owned by another user.");
  EXPECT_EQ(ask({.pid = 201}).name, "nobody-sleep");
  for (int pid : {50, 202, 203}) EXPECT_EQ(ask({.pid = pid}).verdict, "leaveAlone") << pid;
  EXPECT_EQ(ask({.pid = 202}).reason, "System process. Glimmet leaves it alone.");
  EXPECT_EQ(ask({.pid = 204}).reason, "Glimmet itself.");
  EXPECT_EQ(ask({.pid = 205}).reason, "Protected by default: AI agents. Glimmet will not stop it.");
  EXPECT_EQ(ask({.pid = 999}).reason, "Nothing of yours matches.");
}

TEST_F(SafetyFacts, AUserRuleProtects) {
  rules_.userRules.push_back({ProtectedList::UserRule::Kind::commandGlob, "*node*"});
  servers_.clear();
  EXPECT_EQ(ask({.pid = 200}).reason, "Protected by your rule. Glimmet will not stop it.");
}

TEST_F(SafetyFacts, PortsFindTheirDevServer) {
  const auto verdict = ask({.port = 3000});
  EXPECT_EQ(verdict.verdict, "askFirst");
  EXPECT_EQ(verdict.name, "Next.js");
  EXPECT_EQ(ask({.port = 3001}).reason, "Nothing of yours matches.");
  EXPECT_EQ(ask({.port = 70000}).reason, "Nothing of yours matches.");
  // A pid given with a port is asked about the pid.
  EXPECT_EQ(ask({.pid = 201, .port = 3000}).reason, "Owned by another user.");
}

TEST_F(SafetyFacts, ALiveSessionIsAskedAboutDespiteTheAgentRule) {
  sessions_.push_back({205, "Claude Code"});
  for (const MCPTarget target : {MCPTarget{.pid = 205}, MCPTarget{.port = 1, .sessionPID = 205}}) {
    const auto verdict = ask(target);
    EXPECT_EQ(verdict.verdict, "askFirst");
    EXPECT_EQ(verdict.name, "Claude Code");
  }
  EXPECT_EQ(ask({.sessionPID = 200}).reason, "Nothing of yours matches.");
}

}  // namespace
}  // namespace glimmet
