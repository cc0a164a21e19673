#include "core/ghosts/signature_engine.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace glimmet {
namespace {

using nlohmann::json;

json minimalFile() {
  return {
      {"version", 1},
      {"agentRoots",
       {{{"id", "claude-code"},
         {"agent", "Claude Code"},
         {"kind", "agent"},
         {"exeBasenames", {"claude"}},
         {"exePathContains", json::array()},
         {"argvPatterns", {"(^|/)claude( |$)"}},
         {"verified", true}}}},
      {"ghosts",
       {{{"id", "vitest"},
         {"label", "Vitest watcher"},
         {"patterns", {"vitest"}},
         {"verified", false}}}},
      {"devServers",
       {{{"id", "vite"}, {"framework", "Vite"}, {"patterns", {"\\bvite\\b"}}, {"ports", {5173}}}}},
      {"envHints",
       {{{"agent", "Claude Code"},
         {"variables", {"CLAUDECODE"}},
         {"prefixes", json::array()},
         {"requireAll", nullptr},
         {"verified", true}}}},
      {"pathHints", {{{"agent", "Codex"}, {"patterns", {"/\\.codex/"}}}}},
      {"futureKey", "ignored"},
  };
}

TEST(SignatureSet, DecodesEveryListAndDefaultsTheOptionalKeys) {
  const auto set = SignatureSet::decode(minimalFile().dump());
  EXPECT_EQ(set.version, 1);
  ASSERT_EQ(set.agentRoots.size(), 1u);
  EXPECT_EQ(set.agentRoots[0].kind, SignatureSet::AgentRoot::Kind::agent);
  ASSERT_EQ(set.ghosts.size(), 1u);
  EXPECT_TRUE(set.ghosts[0].exePatterns.empty());
  EXPECT_FALSE(set.ghosts[0].requiresGhostAncestor);
  EXPECT_EQ(set.devServers[0].ports, std::vector<uint16_t>{5173});
  EXPECT_FALSE(set.envHints[0].requireAll) << "null is the same as absent";
  EXPECT_EQ(set.pathHints[0].agent, "Codex");
}

TEST(SignatureSet, RefusesTheWholeFileForAnyFault) {
  const std::vector<std::function<void(json&)>> faults = {
      [](json& f) { f.erase("version"); },
      [](json& f) { f["version"] = "1"; },
      [](json& f) { f["ghosts"][0].erase("verified"); },
      [](json& f) { f["agentRoots"][0]["kind"] = "Agent"; },
      [](json& f) {
        f["agentRoots"][0]["exeBasenames"] = {"claude", 3};
      },
      [](json& f) { f["devServers"][0]["ports"] = {70000}; },
      [](json& f) { f["devServers"][0]["ports"] = {-1}; },
      [](json& f) {
        f["envHints"][0]["anyValueContains"] = {{"namePrefix", "X"}};
      },
      [](json& f) { f["pathHints"] = json::object(); },
      [](json& f) { f = json::array(); },
  };
  for (size_t i = 0; i < faults.size(); ++i) {
    auto file = minimalFile();
    faults[i](file);
    EXPECT_THROW(SignatureSet::decode(file.dump()), SignatureFileError) << "fault " << i;
  }
  EXPECT_THROW(SignatureSet::decode("{\"version\": 1,"), SignatureFileError);
  EXPECT_THROW(SignatureSet::decode(std::string("\0\xff", 2)), SignatureFileError);
}

TEST(SignatureEngine, CompilesEveryPatternCaseInsensitively) {
  const auto engine = SignatureEngine::fromJson(minimalFile().dump());
  ASSERT_EQ(engine.roots().size(), 1u);
  EXPECT_TRUE(engine.roots()[0].regexes[0].search("/home/me/.local/bin/CLAUDE --resume"));
  EXPECT_TRUE(engine.servers()[0].regexes[0].search("node node_modules/.bin/Vite --port 5173"));
  EXPECT_FALSE(engine.servers()[0].regexes[0].search("node invite.js"));
  auto broken = minimalFile();
  broken["pathHints"][0]["patterns"] = {"(unbalanced"};
  EXPECT_THROW(SignatureEngine::fromJson(broken.dump()), RegexError);
}

struct SignatureLookup : ::testing::Test {
  testing::TempDir dir;
  std::filesystem::path executable = dir / "Glimmet.app/Contents/Helpers/glimmet";
  // Loading writes the compiled form among the tool's caches: here, not in the
  // real home.
  Environment base = Environment().with("XDG_CACHE_HOME", (dir / "cache").string());
  void SetUp() override {
    dir.write("Glimmet.app/Contents/Helpers/glimmet", "");
    dir.write("Glimmet.app/Contents/Resources/signatures.json", minimalFile().dump());
  }
};

TEST_F(SignatureLookup, AMissingOverrideFallsBackToTheBundle) {
  const auto env = base.with("GLIMMET_SIGNATURES", (dir / "nowhere.json").string());
  EXPECT_EQ(SignatureEngine::load(env, executable).set().version, 1);
}

TEST_F(SignatureLookup, AnInvalidOverrideFailsEvenWithAValidBundle) {
  dir.write("bad.json", "{}");
  const auto env = base.with("GLIMMET_SIGNATURES", (dir / "bad.json").string());
  EXPECT_THROW(SignatureEngine::load(env, executable), SignatureFileError);
}

TEST_F(SignatureLookup, FindsTheInstallPrefixAndFailsWithNothing) {
  dir.write("prefix/bin/glimmet", "");
  dir.write("elsewhere/bin/glimmet", "");
  dir.write("prefix/share/glimmet/signatures.json", minimalFile().dump());
  EXPECT_EQ(SignatureEngine::load(base, dir / "prefix/bin/glimmet").set().agentRoots.size(), 1u);
  EXPECT_THROW(SignatureEngine::load(base, dir / "elsewhere/bin/glimmet"), SignatureFileError);
  auto broken = minimalFile();
  broken["ghosts"][0]["patterns"] = {"a)"};
  dir.write("prefix/share/glimmet/signatures.json", broken.dump());
  EXPECT_THROW(SignatureEngine::load(base, dir / "prefix/bin/glimmet"), SignatureFileError);
}

}  // namespace
}  // namespace glimmet

namespace glimmet {
namespace {

using Args = std::vector<std::string>;

SignatureEngine matchingFixture() {
  auto file = minimalFile();
  file["agentRoots"][0]["exePathContains"] = {"/Claude.app/"};
  file["ghosts"] = {
      {{"id", "browser"},
       {"label", "Browser"},
       {"patterns", {"--headless"}},
       {"exePatterns", {"chrome$"}},
       {"verified", true}},
      {{"id", "any-headless"},
       {"label", "Anything headless"},
       {"patterns", {"--headless"}},
       {"requiresGhostAncestor", true},
       {"verified", true}},
      {{"id", "later"}, {"label", "Later"}, {"patterns", {"headless"}}, {"verified", true}},
  };
  file["envHints"] = {{{"agent", "Exact"},
                       {"variables", {"MODE=agent"}},
                       {"prefixes", json::array()},
                       {"verified", true}},
                      {{"agent", "Gated"},
                       {"variables", json::array()},
                       {"prefixes", {"GATE_"}},
                       {"requireAll", {"READY"}},
                       {"verified", true}}};
  return SignatureEngine::fromJson(file.dump());
}

TEST(SignatureMatching, AgentRootsByNameCaseInsensitivelyAndByPathCaseSensitively) {
  const auto engine = matchingFixture();
  const std::optional<std::string> noPath;
  const std::optional<Args> noArgs;
  EXPECT_EQ(engine.agentRoot({"CLAUDE", noPath, noArgs})->id, "claude-code");
  const std::optional<std::string> app = "/Applications/Claude.app/Contents/MacOS/x";
  const std::optional<std::string> lowered = "/Applications/claude.app/Contents/MacOS/x";
  EXPECT_TRUE(engine.agentRoot({"x", app, noArgs}));
  EXPECT_FALSE(engine.agentRoot({"x", lowered, noArgs}));
  // With no arguments the name alone is matched: argvPatterns never fire.
  EXPECT_FALSE(engine.agentRoot({"node", noPath, noArgs}));
  EXPECT_EQ(SignatureEngine::matchingText({"node", noPath, noArgs}), "node");
  const std::optional<Args> empty = Args{};
  EXPECT_EQ(SignatureEngine::matchingText({"node", noPath, empty}), "");
}

TEST(SignatureMatching, GhostEntriesWithExecutablePatternsNeedTheExecutable) {
  const auto engine = matchingFixture();
  const std::optional<Args> argv = Args{"chrome", "--headless"};
  const std::optional<std::string> chrome = "/opt/chrome", unknown;
  EXPECT_EQ(engine.ghostSignature({"chrome", chrome, argv})->id, "browser");
  const auto fallback = engine.ghostSignature({"chrome", unknown, argv});
  EXPECT_EQ(fallback, (GhostSignatureMatch{"any-headless", "Anything headless", true}));
}

TEST(SignatureMatching, EnvironmentHintsMatchWholeEntriesAndHonourRequireAll) {
  const auto engine = matchingFixture();
  EXPECT_EQ(engine.agentFromEnvironment(Args{"MODE=agent"}), "Exact");
  EXPECT_EQ(engine.agentFromEnvironment(Args{"MODE=agents"}), std::nullopt);
  EXPECT_EQ(engine.agentFromEnvironment(Args{"GATE_X=1"}), std::nullopt);
  EXPECT_EQ(engine.agentFromEnvironment(Args{"GATE_X=1", "READY"}), "Gated");
  EXPECT_EQ(engine.agentFromEnvironment(Args{}), std::nullopt);
  EXPECT_EQ(engine.agentFromEnvironment(std::nullopt), std::nullopt);
}

SignatureEngine interpreterFixture() {
  auto file = minimalFile();
  file["agentRoots"].push_back({{"id", "codex"},
                                {"agent", "Codex"},
                                {"kind", "agent"},
                                {"exeBasenames", {"codex"}},
                                {"exePathContains", {"/@openai/codex/"}},
                                {"argvPatterns", json::array()},
                                {"helperArgvPatterns", {"\\sapp-server(\\s|$)"}},
                                {"verified", false}});
  file["agentRoots"].push_back({{"id", "gemini"},
                                {"agent", "Gemini CLI"},
                                {"kind", "agent"},
                                {"exeBasenames", json::array()},
                                {"exePathContains", json::array()},
                                {"argvPatterns", {"@google/gemini-cli/bundle/"}},
                                {"verified", false}});
  return SignatureEngine::fromJson(file.dump());
}

TEST(SignatureMatching, AnInterpreterIsMatchedByTheScriptItRuns) {
  const auto engine = interpreterFixture();
  const std::optional<std::string> node = "/usr/bin/node";
  const std::optional<std::string> none;
  // The symlink's name npm put on the PATH, after an option (relative, so that the
  // entry's argvPattern can't be what matches).
  const std::optional<Args> claude = Args{"node", "--max-old-space-size=4096", "claude"};
  EXPECT_EQ(engine.agentRoot({"node", node, claude})->id, "claude-code");
  // The resolved file: by exePathContains and by argvPatterns.
  const std::optional<Args> launcher = Args{"node", "/home/me/.npm-global/bin/x"};
  const std::optional<std::string_view> codexJs =
      "/home/me/.npm-global/lib/node_modules/@openai/codex/bin/codex.js";
  EXPECT_EQ(engine.agentRoot({"node", node, launcher, codexJs})->id, "codex");
  const std::optional<std::string_view> geminiJs =
      "/usr/local/lib/node_modules/@google/gemini-cli/bundle/gemini.js";
  EXPECT_EQ(engine.agentRoot({"node", node, launcher, geminiJs})->id, "gemini");
  // A script is no option's value, no module, and keeps its extension.
  for (const Args& other : std::vector<Args>{{"node", "-r", "claude", "server.js"},
                                             {"python3", "-m", "claude"},
                                             {"node", "/home/me/web/claude.js"}})
    EXPECT_EQ(engine.agentRoot({"x", none, std::optional<Args>(other)}), std::nullopt)
        << other.back();
  // Not an interpreter: its operands are not names.
  const std::optional<Args> editor = Args{"vim", "claude"};
  EXPECT_EQ(engine.agentRoot({"vim", none, editor}), std::nullopt);
}

TEST(SignatureMatching, AnAgentsOwnDaemonIsItsHelperAndNoRoot) {
  const auto engine = interpreterFixture();
  const std::optional<std::string> daemonPath =
      "/home/me/.codex/packages/app-server-daemon/releases/0.169.0/bin/codex";
  const std::optional<Args> daemon =
      Args{*daemonPath, "app-server", "--listen", "unix://", "--managed-daemon"};
  EXPECT_EQ(engine.agentRoot({"codex", daemonPath, daemon}), std::nullopt);
  const auto helper = engine.agentEntry({"codex", daemonPath, daemon});
  ASSERT_TRUE(helper);
  EXPECT_TRUE(helper->isHelper);
  EXPECT_EQ(engine.agentHelper({"codex", daemonPath, daemon})->agent, "Codex");
  // The agent the person runs, whatever its other arguments say.
  const std::optional<Args> session = Args{"codex", "--model", "app-server-tuned"};
  EXPECT_EQ(engine.agentRoot({"codex", daemonPath, session})->id, "codex");
  EXPECT_EQ(engine.agentHelper({"codex", daemonPath, session}), std::nullopt);
  // An entry without helper patterns (older files) makes every match a root.
  const std::optional<Args> claude = Args{"claude", "app-server"};
  EXPECT_EQ(engine.agentRoot({"claude", std::nullopt, claude})->id, "claude-code");
}

TEST(SignatureSet, HelperPatternsAreOptionalAndMustBeStrings) {
  auto file = minimalFile();
  EXPECT_TRUE(SignatureSet::decode(file.dump()).agentRoots[0].helperArgvPatterns.empty());
  file["agentRoots"][0]["helperArgvPatterns"] = nullptr;
  EXPECT_TRUE(SignatureSet::decode(file.dump()).agentRoots[0].helperArgvPatterns.empty());
  file["agentRoots"][0]["helperArgvPatterns"] = {1};
  EXPECT_THROW(SignatureSet::decode(file.dump()), SignatureFileError);
  file["agentRoots"][0]["helperArgvPatterns"] = {"(unbalanced"};
  EXPECT_ANY_THROW(SignatureEngine::fromJson(file.dump()));
}

}  // namespace
}  // namespace glimmet
