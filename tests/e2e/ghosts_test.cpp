// glimmet ghosts against real orphaned processes, a live agent-like parent and
// a real ancestry.json as the companion application writes it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "core/output/text.h"
#include "core/process/process_enumerator.h"
#include "support/child_process.h"
#include "support/isolated_home.h"
#include "support/schema.h"
#include "support/worktree_fixture.h"

namespace glimmet {
namespace {

using testing::ChildProcess;
using ::testing::HasSubstr;

// No minimum age, so that processes the test just started can be ghosts.
struct HomeWithoutMinimumAge : testing::IsolatedHome {
  HomeWithoutMinimumAge() {
    dir().write("home/.local/share/Glimmet/settings.json", R"({"ghostMinimumAge": 0})");
  }
};

// A process whose parent exited, re-parented like any orphan.
struct Orphan {
  ChildProcess helper;
  pid_t pid;
};

// Started in `cwd`, so that the checkout the tests run from isn't its repository.
Orphan orphan(const std::string& argv0, const std::filesystem::path& cwd) {
  auto helper = ChildProcess::helper({"double-fork"}, {.cwd = cwd, .argv0 = argv0});
  const auto pid = static_cast<pid_t>(helper.reportedNumbers().at(0));
  return {std::move(helper), pid};
}

const ProcessRecord& recordOf(const ProcessSnapshot& snapshot, pid_t pid) {
  const auto* record = snapshot.record(pid);
  if (record == nullptr) throw std::runtime_error("process " + std::to_string(pid) + " is gone");
  return *record;
}

const nlohmann::json* ghostWithPID(const nlohmann::json& document, pid_t pid) {
  for (const auto& ghost : document["ghosts"])
    if (ghost["pid"] == pid) return &ghost;
  return nullptr;
}

TEST(Ghosts, AnOrphanedDevServerIsReportedAndDescribed) {
  HomeWithoutMinimumAge home;
  const auto server = orphan("vite", home.home());
  ProcessEnumerator enumerator(::geteuid());
  if (recordOf(enumerator.snapshot(std::chrono::system_clock::now()), server.pid).ppid != 1)
    GTEST_SKIP() << "orphans here go to a subreaper the tool doesn't know";

  const auto text = home.glimmet({"ghosts"});
  EXPECT_EQ(text.status, 0);
  EXPECT_THAT(text.out, HasSubstr(padCut(std::to_string(server.pid), 7) +
                                  " vite double-fork  Orphaned dev server (terminal closed)\n"));

  const auto json = home.glimmet({"ghosts", "--json"});
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(testing::schemaProblems("ghosts", json.out), "");
  const auto document = nlohmann::json::parse(json.out);
  const auto* ghost = ghostWithPID(document, server.pid);
  ASSERT_NE(ghost, nullptr);
  EXPECT_EQ((*ghost)["label"], "Vite dev server");
  EXPECT_EQ((*ghost)["originKind"], "orphanedDevServer");
  EXPECT_EQ((*ghost)["command"], "vite double-fork");
  EXPECT_FALSE(ghost->contains("agent"));
  // Its parent, still running under the test, is no ghost.
  EXPECT_EQ(ghostWithPID(document, server.helper.pid()), nullptr);
}

// A ghost left in a linked worktree is named as ls names its dev server: the
// worktree and its branch, in the listing and in every kill-log entry about it.
TEST(Ghosts, AGhostInALinkedWorktreeNamesTheWorktreeAndBranch) {
  HomeWithoutMinimumAge home;
  testing::writeRepositoryWithWorktree(home);
  const auto main = home.home() / "code/shop";
  auto helper = ChildProcess::helper({"double-fork"},
                                     {.cwd = home.home() / "trees/shop-login", .argv0 = "vite"});
  const auto pid = static_cast<pid_t>(helper.reportedNumbers().at(0));
  ProcessEnumerator enumerator(::geteuid());
  if (recordOf(enumerator.snapshot(std::chrono::system_clock::now()), pid).ppid != 1)
    GTEST_SKIP() << "orphans here go to a subreaper the tool doesn't know";

  EXPECT_THAT(home.glimmet({"ghosts"}).out,
              HasSubstr(padCut(std::to_string(pid), 7) +
                        " vite double-fork  Orphaned dev server (terminal closed)  shop-login "
                        "(feature/login)\n"));
  const auto json = home.glimmet({"ghosts", "--json"});
  EXPECT_EQ(testing::schemaProblems("ghosts", json.out), "");
  const auto document = nlohmann::json::parse(json.out);
  const auto* ghost = ghostWithPID(document, pid);
  ASSERT_NE(ghost, nullptr);
  EXPECT_EQ((*ghost)["repo"], main.string());
  EXPECT_EQ((*ghost)["worktree"], "shop-login");
  EXPECT_EQ((*ghost)["branch"], "feature/login");

  // A dry run logs what it would stop without signalling anything; kill stops
  // only the process this test started.
  home.glimmet({"reap", "--dry-run", "--include-dev-servers", "--older-than", "0", "--quiet"});
  EXPECT_EQ(home.glimmet({"kill", std::to_string(pid)}).status, 0);
  std::istringstream lines(home.dir().read("home/.local/share/Glimmet/killlog.jsonl"));
  int mentions = 0;
  for (std::string line; std::getline(lines, line);) {
    const auto entry = nlohmann::json::parse(line);
    if (entry["pid"] != pid) continue;
    ++mentions;
    EXPECT_EQ(entry["repo"], "~/code/shop") << line;
    EXPECT_EQ(entry["worktree"], "shop-login") << line;
    EXPECT_EQ(entry["branch"], "feature/login") << line;
  }
  EXPECT_EQ(mentions, 2);
}

TEST(Ghosts, TheRecordedChainGivesAnExactOriginOnceTheAgentIsGone) {
  HomeWithoutMinimumAge home;
  const auto left = orphan("/opt/tools/indexer", home.home());
  ProcessEnumerator enumerator(::geteuid());
  const auto startTime =
      recordOf(enumerator.snapshot(std::chrono::system_clock::now()), left.pid).identity.startTime;
  // Matches nothing by itself: without a record it is no ghost.
  EXPECT_EQ(ghostWithPID(nlohmann::json::parse(home.glimmet({"ghosts", "--json"}).out), left.pid),
            nullptr);

  // The agent that started it (pid 999999 at time 1) is long gone.
  home.dir().write("home/.local/share/Glimmet/ancestry.json",
                   R"([{"pid": )" + std::to_string(left.pid) + R"(, "startTime": )" +
                       std::to_string(startTime) + R"(, "recordedAt": 786000000.25, "chain": [
        {"pid": 999999, "startTime": 1, "name": "claude",
         "root": {"id": "claude-code", "agent": "Claude Code", "kind": "agent"}}]},
      {"pid": )" + std::to_string(left.pid) +
                       R"(, "startTime": 7, "recordedAt": 1, "chain": []}])");
  const auto json = home.glimmet({"ghosts", "--json"});
  EXPECT_EQ(testing::schemaProblems("ghosts", json.out), "");
  const auto document = nlohmann::json::parse(json.out);
  const auto* ghost = ghostWithPID(document, left.pid);
  ASSERT_NE(ghost, nullptr);
  EXPECT_EQ((*ghost)["originKind"], "exact");
  EXPECT_EQ((*ghost)["origin"], "Claude Code");
  EXPECT_EQ((*ghost)["agent"], "Claude Code");
  EXPECT_EQ((*ghost)["sessionPid"], 999999);
  EXPECT_EQ((*ghost)["label"], "indexer double-fork");
  EXPECT_THAT(home.glimmet({"ghosts"}).out, HasSubstr(padCut(std::to_string(left.pid), 7) +
                                                      " indexer double-fork  Claude Code\n"));

  // A corrupt file is no records: the same process is no ghost, and nothing fails.
  home.dir().write("home/.local/share/Glimmet/ancestry.json", "[{\"pid\": \"x\"}");
  const auto corrupt = home.glimmet({"ghosts", "--json"});
  EXPECT_EQ(corrupt.status, 0);
  EXPECT_EQ(ghostWithPID(nlohmann::json::parse(corrupt.out), left.pid), nullptr);
}

TEST(Ghosts, AChildOfALiveAgentIsNoGhost) {
  HomeWithoutMinimumAge home;
  auto agent =
      ChildProcess::helper({"child-as", "node", "node_modules/.bin/vite"}, {.argv0 = "claude"});
  const auto child = static_cast<pid_t>(agent.reportedNumbers().at(1));
  const auto document = nlohmann::json::parse(home.glimmet({"ghosts", "--json"}).out);
  EXPECT_EQ(ghostWithPID(document, child), nullptr);
  EXPECT_EQ(ghostWithPID(document, agent.pid()), nullptr);
}

TEST(Ghosts, WithoutSignaturesItEndsWithStatusThree) {
  testing::IsolatedHome home;
  home.dir().write("bad-signatures.json", "{\"version\": 1, \"agentRoots\": [");
  home.environment() =
      home.environment().with("GLIMMET_SIGNATURES", (home.root() / "bad-signatures.json").string());
  for (const auto& arguments : {std::vector<std::string>{"ghosts"}, {"ghosts", "--json"}}) {
    const auto result = home.glimmet(arguments);
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.out, "");
    EXPECT_THAT(result.err, HasSubstr("Couldn't find Glimmet's signatures."));
  }
  // ls only loses the framework names.
  EXPECT_NE(home.glimmet({"ls", "--json"}).status, 3);
}

}  // namespace
}  // namespace glimmet
