#include "core/ghosts/protection.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

using Kind = ProtectionReason::Kind;
using Rule = ProtectedList::UserRule;

constexpr uid_t kMe = 1000;

ProtectionSubject subject(std::string name, std::string path = "/home/me/.nvm/bin/node") {
  return {.pid = 4242,
          .uid = kMe,
          .name = std::move(name),
          .path = std::move(path),
          .commandLine = "node server.js"};
}

struct ProtectionFixture : ::testing::Test {
  ProtectionContext context{.currentUID = kMe, .ownPID = 777};
  ProtectedList list;
  const SystemProcessTable& system = systemProcessTable();

  std::optional<std::string> labelOf(const ProtectionSubject& s) const {
    const auto reason = checkProtection(s, context, list, system);
    if (!reason) return std::nullopt;
    return reason->label();
  }
};

TEST_F(ProtectionFixture, AnOrdinaryDevServerIsNotProtected) {
  EXPECT_EQ(labelOf(subject("node")), std::nullopt);
  EXPECT_EQ(labelOf(subject("python3", "/usr/bin/python3")), std::nullopt)
      << "/usr/bin holds dev tools";
  EXPECT_EQ(labelOf(subject("java", "/usr/lib/jvm/java-17/bin/java")), std::nullopt);
}

TEST_F(ProtectionFixture, FixedRulesComeFirstInTheirOrder) {
  auto low = subject("node");
  low.pid = 99;
  EXPECT_EQ(labelOf(low), "System process");
  auto other = subject("bash");
  other.uid = 0;
  other.hasControllingTTY = true;
  EXPECT_EQ(labelOf(other), "Owned by another user")
      << "the owner rule comes before the shell rule";
  auto self = subject("glimmet");
  self.pid = 777;
  EXPECT_EQ(labelOf(self), "Glimmet itself");
  EXPECT_EQ(labelOf(subject("systemd-journald", "/lib/systemd/systemd-journald")),
            "System process");
  EXPECT_EQ(labelOf(subject("sshd", "/opt/ssh/sshd")), "System process");
  EXPECT_EQ(labelOf(subject("systemd-oomd", "/opt/x")), "System process");
  EXPECT_EQ(labelOf(subject("gsd-color", "/usr/libexec/gsd-color")), "System process");
}

TEST_F(ProtectionFixture, TheToolItselfIsRecognisedByBundleOrExecutable) {
  context.ownBundlePath = "/Applications/Glimmet.app";
  EXPECT_EQ(labelOf(subject("helper", "/Applications/Glimmet.app/Contents/MacOS/helper")),
            "Glimmet itself");
  EXPECT_EQ(labelOf(subject("x", "/Applications/Glimmet.application/x")), std::nullopt);
  context.ownExecutablePath = "/home/me/.local/bin/glimmet";
  EXPECT_EQ(labelOf(subject("glimmet", "/home/me/.local/bin/glimmet")), "Glimmet itself");
  EXPECT_EQ(ProtectionContext::bundlePathOf("/Applications/Glimmet.app/Contents/Helpers/glimmet"),
            "/Applications/Glimmet.app");
  EXPECT_EQ(ProtectionContext::bundlePathOf("/usr/local/bin/glimmet"), std::nullopt);
}

TEST_F(ProtectionFixture, TerminalShellsAndTheFrontmostApp) {
  auto shell = subject("-zsh", "/usr/bin/zsh");
  shell.hasControllingTTY = true;
  EXPECT_EQ(labelOf(shell), "Your terminal shell");
  auto vim = subject("vim", "/usr/bin/vim");
  vim.hasControllingTTY = true;
  EXPECT_EQ(labelOf(vim), "Your terminal shell");
  context.shellsOnlyForTTY = true;
  EXPECT_EQ(labelOf(vim), std::nullopt);
  EXPECT_EQ(labelOf(shell), "Your terminal shell");
  context.frontmostAppPID = 4242;
  EXPECT_EQ(labelOf(vim), "The app you're using");
}

TEST_F(ProtectionFixture, BuiltInDefaultsCanBeSwitchedOff) {
  EXPECT_EQ(labelOf(subject("postgres", "/usr/lib/postgresql/15/bin/postgres")),
            "Protected by default: Local databases");
  EXPECT_EQ(labelOf(subject("claude")), "Protected by default: AI agents");
  EXPECT_EQ(labelOf(subject("com.docker.backend")), "Protected by default: Docker Desktop");
  list.disabledDefaults = {"databases"};
  EXPECT_EQ(labelOf(subject("postgres", "/usr/lib/postgresql/15/bin/postgres")), std::nullopt);
  EXPECT_EQ(labelOf(subject("claude")), "Protected by default: AI agents");
  context.ignoredDefaultIDs = {"agents"};
  EXPECT_EQ(labelOf(subject("claude")), std::nullopt);
  EXPECT_EQ(labelOf(subject("Postgres")), std::nullopt) << "names compare case-sensitively";
}

TEST_F(ProtectionFixture, WithSignaturesTheAIAgentsDefaultFollowsThemNotTheName) {
  // "node /usr/local/bin/gemini": named node, an agent by its script.
  auto gemini = subject("node");
  gemini.agent = recognitionOf(AgentRootMatch{"gemini-cli", "Gemini CLI"});
  EXPECT_EQ(labelOf(gemini), "Protected by default: AI agents");
  // Codex's own daemon keeps the agent's name but is a helper: stoppable.
  auto daemon = subject("codex", "/home/me/.codex/packages/app-server-daemon/bin/codex");
  daemon.agent = recognitionOf(std::nullopt);
  EXPECT_EQ(labelOf(daemon), std::nullopt);
  // IDEs and terminals are roots too, but not agents.
  auto editor = subject("code", "/usr/share/code/code");
  editor.agent =
      recognitionOf(AgentRootMatch{"vscode", "VS Code", SignatureSet::AgentRoot::Kind::ide});
  EXPECT_EQ(labelOf(editor), std::nullopt);
  context.ignoredDefaultIDs = {"agents"};
  EXPECT_EQ(labelOf(gemini), std::nullopt);
}

TEST_F(ProtectionFixture, UserRulesOfEveryKind) {
  auto server = subject("node");
  server.commandLine = "node /home/me/web/node_modules/.bin/next dev";
  server.ports = {3000};
  server.repoPath = "/home/me/web";

  list.userRules = {{Rule::Kind::commandGlob, "*next dev*"}};
  EXPECT_EQ(labelOf(server), "Protected by your rule");
  list.userRules = {{Rule::Kind::commandGlob, "*NEXT DEV*"}};
  EXPECT_EQ(labelOf(server), std::nullopt);
  list.userRules = {{Rule::Kind::executablePath, "/home/me/.nvm/*"}};
  EXPECT_EQ(labelOf(server), "Protected by your rule");

  for (const char* pattern : {"3000", "+3000"}) {
    list.userRules = {{Rule::Kind::port, pattern}};
    EXPECT_EQ(labelOf(server), "Protected by your rule") << pattern;
  }
  for (const char* pattern : {"3000a", "68536", "", "+", "-3000"}) {
    list.userRules = {{Rule::Kind::port, pattern}};
    EXPECT_EQ(labelOf(server), std::nullopt) << pattern;
  }

  list.userRules = {{Rule::Kind::repoPath, "/home/me/web"}};
  EXPECT_EQ(labelOf(server), "Protected by your rule");
  server.repoPath = "/home/me/web/packages/site";
  EXPECT_EQ(labelOf(server), "Protected by your rule");
  server.repoPath = "/home/me/website";
  EXPECT_EQ(labelOf(server), std::nullopt);
}

TEST_F(ProtectionFixture, ContainerEnginesAndTheirPlumbingAreADefaultOfTheirOwn) {
  for (const char* name :
       {"dockerd", "containerd", "containerd-shim-runc-v2", "docker-proxy", "rootlesskit",
        "slirp4netns", "podman", "conmon", "buildkitd", "kubelet", "k3s", "kube-proxy", "crio"})
    EXPECT_EQ(labelOf(subject(name, std::string("/usr/bin/") + name)),
              "Protected by default: Container engines")
        << name;
  EXPECT_EQ(labelOf(subject("docker", "/usr/bin/docker")), std::nullopt)
      << "the client is the user's command, not the engine";
  EXPECT_EQ(labelOf(subject("docker-proxyish")), std::nullopt);
  list.disabledDefaults = {"containers"};
  EXPECT_EQ(labelOf(subject("docker-proxy", "/usr/bin/docker-proxy")), std::nullopt);
  EXPECT_EQ(labelOf(subject("postgres")), "Protected by default: Local databases");
}

TEST(ProtectedList, ReadsAndWritesTheFileFormat) {
  const auto json =
      nlohmann::json::parse(R"({"userRules": [{"kind": "commandGlob", "pattern": "*next dev*"},
                                                           {"kind": "port", "pattern": "3000"}],
                                             "disabledDefaults": ["databases"]})");
  const auto list = ProtectedList::fromJson(json);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->userRules.size(), 2u);
  EXPECT_EQ(list->userRules[1], (Rule{Rule::Kind::port, "3000"}));
  EXPECT_EQ(list->disabledDefaults, std::set<std::string>{"databases"});
  EXPECT_EQ(ProtectedList::fromJson(list->toJson()), list);
  EXPECT_EQ(ProtectedList::fromJson(nlohmann::json::object()), ProtectedList{});
  for (const char* bad : {R"({"userRules": [{"kind": "glob", "pattern": "x"}]})",
                          R"({"userRules": [{"kind": "port"}]})", R"({"userRules": {}})",
                          R"({"disabledDefaults": [1]})", R"("rules")"}) {
    EXPECT_FALSE(ProtectedList::fromJson(nlohmann::json::parse(bad))) << bad;
  }
}

}  // namespace
}  // namespace glimmet
