// Finding tools through the user's login shell, end to end: a fake login
// shell that prints junk beside its answers, one that hangs (its whole group
// is stopped at the time limit and the fallback search path answers), and the
// cache folders that tools report for disk scan.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "support/isolated_home.h"

namespace glimmet {
namespace {

using ::testing::HasSubstr;

constexpr std::string_view kRules = R"({"version": 1, "rules": [
  {"id": "fixture-tool", "label": "Tool cache", "tool": "fake-clean", "category": "safeToClear",
   "safety": "safe", "match": "path", "paths": ["~/.cache/fixture-tool"],
   "clean": {"kind": "toolCommand", "argv": ["fake-clean", "purge", "{path}"]},
   "ifRemoved": "Nothing.", "verified": true}
]})";

std::filesystem::path executable(const testing::IsolatedHome& home, const std::string& name,
                                 const std::string& text) {
  const auto path = home.dir().write(name, text);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  return path;
}

struct LookupHome {
  testing::IsolatedHome home;

  explicit LookupHome(std::string_view rules = kRules) {
    home.dir().write("rules.json", std::string(rules));
    // No PATH entry holds the fake tools: only the shell or the fallback finds them.
    home.environment() = home.environment()
                             .with("GLIMMET_LEFTOVERS", (home.root() / "rules.json").string())
                             .with("PATH", (home.root() / "empty-bin").string());
    home.dir().write("home/.cache/fixture-tool/blob", std::string(5000, 'u'));
  }

  // A login shell by the name zsh: it sources nothing, prints what login files
  // print, then runs the script it is given with the system shell.
  void loginShell(const std::string& body) {
    const auto shell = executable(home, "shells/zsh", "#!/bin/sh\n" + body);
    home.environment() = home.environment().with("SHELL", shell.string());
  }
};

TEST(ToolLookup, TheLoginShellsAnswerIsTakenAndItsJunkIgnored) {
  LookupHome fixture;
  const auto tool = executable(fixture.home, "tools/fake-clean", "#!/bin/sh\necho cleaned\n");
  fixture.loginShell(
      "echo 'Last login: today'\necho 'fake-clean=alias fake-clean=rm'\n"
      "echo 'git=not a path'\n"
      "PATH='" +
      tool.parent_path().string() + ":/usr/bin:/bin' exec /bin/sh -c \"$2\"\n");
  auto result = fixture.home.glimmet({"disk", "scan", "--json"});
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  result =
      fixture.home.glimmet({"disk", "clean", "~/.cache/fixture-tool#fixture-tool", "--dry-run"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "Would run: '" + tool.string() + "' purge '" +
                            (fixture.home.home() / ".cache/fixture-tool").string() + "'\n");
}

bool goneOrZombie(pid_t pid) {
  if (::kill(pid, 0) != 0) return true;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string field, name, state;
  stat >> field >> name >> state;
  return state.empty() || state == "Z";
}

TEST(ToolLookup, AHangingLoginShellIsStoppedWithItsGroupAndTheFallbackAnswers) {
  LookupHome fixture;
  const auto tool = executable(fixture.home, "home/.local/bin/fake-clean", "#!/bin/sh\n");
  const auto pids = fixture.home.root() / "pids";
  // The shell starts a child in its group and waits on it forever.
  fixture.loginShell("/bin/sleep 100000 &\necho $$ $! > '" + pids.string() + "'\nwait\n");
  ASSERT_EQ(fixture.home.glimmet({"disk", "scan", "--json"}).status, 0);
  std::filesystem::remove(pids);
  const auto planned =
      fixture.home.glimmet({"disk", "clean", "~/.cache/fixture-tool#fixture-tool", "--dry-run"});
  EXPECT_EQ(planned.status, 0) << planned.err;
  EXPECT_EQ(planned.out, "Would run: '" + tool.string() + "' purge '" +
                             (fixture.home.home() / ".cache/fixture-tool").string() + "'\n");

  pid_t shell = 0, child = 0;
  std::ifstream(pids) >> shell >> child;
  ASSERT_GT(shell, 0);
  ASSERT_GT(child, 0);
  for (int i = 0; i < 100 && !(goneOrZombie(shell) && goneOrZombie(child)); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(goneOrZombie(shell));
  EXPECT_TRUE(goneOrZombie(child));
}

constexpr std::string_view kCacheRules = R"({"version": 1, "rules": [
  {"id": "npm-cache", "label": "npm cache", "tool": "npm", "category": "safeToClear",
   "safety": "safe", "match": "path", "paths": ["~/.npm/_cacache"], "resolveWith": "npm-config-cache",
   "clean": {"kind": "trash"}, "ifRemoved": "Nothing.", "verified": true},
  {"id": "pnpm-store", "label": "pnpm store", "tool": "pnpm", "category": "safeToClear",
   "safety": "safe", "match": "path", "paths": ["~/.local/share/pnpm/store"],
   "resolveWith": "pnpm-store-path", "clean": {"kind": "trash"}, "ifRemoved": "Nothing.",
   "verified": true},
  {"id": "uv-cache", "label": "uv cache", "tool": "uv", "category": "safeToClear",
   "safety": "safe", "match": "path", "paths": ["~/.cache/uv"], "resolveWith": "uv-cache-dir",
   "clean": {"kind": "trash"}, "ifRemoved": "Nothing.", "verified": true}
]})";

const nlohmann::json* itemWithRule(const nlohmann::json& document, const std::string& rule) {
  const nlohmann::json* found = nullptr;
  for (const auto& item : document["items"])
    if (item["rule"] == rule) {
      EXPECT_EQ(found, nullptr) << "two items of " << rule;
      found = &item;
    }
  return found;
}

TEST(ToolLookup, DiskScanMeasuresTheFoldersToolsReport) {
  LookupHome fixture(kCacheRules);
  const auto& dir = fixture.home.dir();
  // npm and pnpm keep their caches away from the usual places; uv isn't installed.
  dir.write("elsewhere/npm/_cacache/index", std::string(3000, 'n'));
  dir.write("elsewhere/pnpm-store/v3/files", std::string(3000, 'p'));
  dir.write("home/.npm/_cacache/old", "o");
  dir.write("home/.local/share/pnpm/store/old", "o");
  dir.write("home/.cache/uv/wheels", "w");
  const auto elsewhere = fixture.home.root() / "elsewhere";
  executable(fixture.home, "tools/npm",
             "#!/bin/sh\n[ \"$*\" = 'config get cache' ] && echo '" + (elsewhere / "npm").string() +
                 "'\n");
  executable(fixture.home, "tools/pnpm",
             "#!/bin/sh\n[ \"$*\" = 'store path' ] && echo '  " +
                 (elsewhere / "pnpm-store").string() + "  '\n");
  fixture.loginShell("echo 'npm=alias'\nPATH='" + (fixture.home.root() / "tools").string() +
                     ":/usr/bin:/bin' exec /bin/sh -c \"$2\"\n");

  const auto result = fixture.home.glimmet({"disk", "scan", "--json"});
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  const auto document = nlohmann::json::parse(result.out);

  const auto* npm = itemWithRule(document, "npm-cache");
  ASSERT_NE(npm, nullptr) << result.out;
  EXPECT_EQ((*npm)["path"], (elsewhere / "npm/_cacache").string());
  EXPECT_EQ((*npm)["safety"], "safe");
  const auto* pnpm = itemWithRule(document, "pnpm-store");
  ASSERT_NE(pnpm, nullptr);
  EXPECT_EQ((*pnpm)["path"], (elsewhere / "pnpm-store").string());

  // No uv to ask: its usual folder stands, said so, and asks for a review.
  const auto* uv = itemWithRule(document, "uv-cache");
  ASSERT_NE(uv, nullptr);
  EXPECT_EQ((*uv)["path"], "~/.cache/uv");
  EXPECT_EQ((*uv)["safety"], "review");
  EXPECT_EQ((*uv)["reasons"], nlohmann::json::array({"Couldn't ask uv where its cache is"}));

  // What the tools said is remembered for a day: the next scan asks npm no
  // more, until a variable that places its cache is set otherwise.
  const auto asked = fixture.home.root() / "npm-was-asked";
  executable(fixture.home, "tools/npm",
             "#!/bin/sh\n/usr/bin/touch '" + asked.string() + "'\necho '" +
                 (elsewhere / "npm").string() + "'\n");
  auto again = fixture.home.glimmet({"disk", "scan", "--json"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_FALSE(std::filesystem::exists(asked));
  const auto remembered = nlohmann::json::parse(again.out);
  ASSERT_NE(itemWithRule(remembered, "npm-cache"), nullptr) << again.out;
  EXPECT_EQ((*itemWithRule(remembered, "npm-cache"))["path"],
            (elsewhere / "npm/_cacache").string());
  fixture.home.environment() =
      fixture.home.environment().with("npm_config_cache", (elsewhere / "npm").string());
  again = fixture.home.glimmet({"disk", "scan", "--json"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_TRUE(std::filesystem::exists(asked));

  // A fixture home asks no tool: the rules' own paths, without a reason.
  const auto fixtureScan =
      fixture.home.glimmet({"disk", "scan", "--json", "--home", fixture.home.home().string()});
  ASSERT_EQ(fixtureScan.status, 0) << fixtureScan.err;
  const auto fixtureDocument = nlohmann::json::parse(fixtureScan.out);
  const auto* fixtureNpm = itemWithRule(fixtureDocument, "npm-cache");
  ASSERT_NE(fixtureNpm, nullptr);
  EXPECT_EQ((*fixtureNpm)["id"], "~/.npm/_cacache#npm-cache");
  EXPECT_EQ((*fixtureNpm)["reasons"], nlohmann::json::array());
}

// A scan is read only: a tool that makes its folders when asked (npm makes
// ~/.npm for its logs) isn't asked in a home where it has left no trace.
TEST(ToolLookup, ToolsWithoutATraceAreNotAsked) {
  LookupHome fixture(kCacheRules);
  const auto home = fixture.home.home();
  const auto asked = fixture.home.root() / "npm-was-asked";
  executable(fixture.home, "tools/npm",
             "#!/bin/sh\n/usr/bin/touch '" + asked.string() +
                 "'\n/bin/mkdir -p \"$HOME/.npm/_logs\"\necho \"$HOME/.npm\"\n");
  fixture.loginShell("PATH='" + (fixture.home.root() / "tools").string() +
                     ":/usr/bin:/bin' exec /bin/sh -c \"$2\"\n");
  auto result = fixture.home.glimmet({"disk", "scan", "--json"});
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_FALSE(std::filesystem::exists(home / ".npm"));
  EXPECT_FALSE(std::filesystem::exists(asked));
  EXPECT_EQ(itemWithRule(nlohmann::json::parse(result.out), "npm-cache"), nullptr);

  // An ~/.npmrc may move the cache: then npm is asked.
  fixture.home.dir().write("home/.npmrc", "cache=/elsewhere\n");
  result = fixture.home.glimmet({"disk", "scan", "--json"});
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_TRUE(std::filesystem::exists(asked)) << result.out;
}

}  // namespace
}  // namespace glimmet
