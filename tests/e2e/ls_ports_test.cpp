// glimmet ls and glimmet ports against real listening processes in real
// repository folders, one of them another user's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "core/output/text.h"
#include "core/util/utf8.h"
#include "support/child_process.h"
#include "support/isolated_home.h"
#include "support/schema.h"
#include "support/worktree_fixture.h"

namespace glimmet {
namespace {

using testing::ChildProcess;
using ::testing::HasSubstr;

// Listeners younger than two seconds are still starting and aren't listed.
void waitUntilListed() {
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
}

const nlohmann::json* serverWithPID(const nlohmann::json& list, pid_t pid) {
  for (const auto& entry : list)
    if (entry["pid"] == pid) return &entry;
  return nullptr;
}

std::string lineWithPID(const std::string& out, pid_t pid, size_t column) {
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    if (line.substr(column, 8) == padCut(std::to_string(pid), 7) + " ") return line;
  return {};
}

TEST(Ls, ShowsServersWithFrameworkRepositoryWorktreeAndBranch) {
  testing::IsolatedHome home;
  testing::writeRepositoryWithWorktree(home);
  auto vite = ChildProcess::helper({"listen", "127.0.0.1"},
                                   {.cwd = home.home() / "trees/shop-login", .argv0 = "vite"});
  std::filesystem::create_directories(home.home() / "code/shop/src");
  auto node = ChildProcess::helper({"listen", "::1"}, {.cwd = home.home() / "code/shop/src"});
  const auto vitePort = vite.reportedNumbers().at(0);
  waitUntilListed();

  const auto text = home.glimmet({"ls"});
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(lineWithPID(text.out, vite.pid(), 15), padCut(":" + std::to_string(vitePort), 14) +
                                                       " " + padCut(std::to_string(vite.pid()), 7) +
                                                       " Vite  shop-login (feature/login)");

  const auto json = home.glimmet({"ls", "--json"});
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(testing::schemaProblems("ls", json.out), "");
  const auto document = nlohmann::json::parse(json.out);
  const auto* server = serverWithPID(document["servers"], vite.pid());
  ASSERT_NE(server, nullptr);
  EXPECT_EQ((*server)["framework"], "Vite");
  EXPECT_EQ((*server)["repo"], "shop");
  EXPECT_EQ((*server)["worktree"], "shop-login");
  EXPECT_EQ((*server)["branch"], "feature/login");
  EXPECT_EQ((*server)["ownedByCurrentUser"], true);
  EXPECT_GE((*server)["uptimeSeconds"].get<int>(), 2);
  EXPECT_THAT((*server)["command"].get<std::string>(), HasSubstr("vite listen 127.0.0.1"));
  EXPECT_EQ((*server)["cwd"], (home.home() / "trees/shop-login").string());
  EXPECT_FALSE(server->contains("protected"));
  const auto* inMain = serverWithPID(document["servers"], node.pid());
  ASSERT_NE(inMain, nullptr);
  EXPECT_EQ((*inMain)["repo"], "shop");
  EXPECT_EQ((*inMain)["branch"], "main");
  EXPECT_FALSE(inMain->contains("worktree"));
}

// A server in a repository whose folder name holds invalid UTF-8, an escape and
// a line feed: the text listing shows them as "?" and stays one line per server.
TEST(Ls, HostileNamesPrintAsPlainUtf8) {
  testing::IsolatedHome home;
  const std::string hostile = "srv\xFF\x1B[31mx\n:1 1 fake";
  home.dir().write("home/" + hostile + "/.git/HEAD", "ref: refs/heads/main\n");
  auto server = ChildProcess::helper({"listen", "127.0.0.1"}, {.cwd = home.home() / hostile});
  waitUntilListed();
  const auto text = home.glimmet({"ls"});
  EXPECT_EQ(text.status, 0);
  EXPECT_TRUE(isWellFormedUtf8(text.out));
  EXPECT_EQ(text.out.find('\x1B'), std::string::npos);
  EXPECT_THAT(lineWithPID(text.out, server.pid(), 15), HasSubstr("  srv??[31mx?:1 1 fake (main)"));
  EXPECT_EQ(text.out.find("\n:1 1 fake"), std::string::npos);
  const auto ports = home.glimmet({"ports"});
  EXPECT_TRUE(isWellFormedUtf8(ports.out));
  EXPECT_EQ(ports.out.find('\x1B'), std::string::npos);
}

TEST(Ls, AFreshListenerIsNotListedYetAndAProtectedOneSaysWhy) {
  testing::IsolatedHome home;
  ASSERT_EQ(home.glimmet({"protect", "*listen 127.0.0.2*"}).status, 0);
  auto kept = ChildProcess::helper({"listen", "127.0.0.2"});
  const auto started = std::chrono::steady_clock::now();
  auto fresh = ChildProcess::helper({"listen", "127.0.0.1"});
  auto early = home.glimmet({"ls", "--json"});
  // On a loaded machine the run itself may outlast the two seconds of grace.
  if (std::chrono::steady_clock::now() - started < std::chrono::milliseconds(1500)) {
    EXPECT_EQ(serverWithPID(nlohmann::json::parse(early.out)["servers"], fresh.pid()), nullptr);
  }
  waitUntilListed();
  const auto out = home.glimmet({"ls"}).out;
  EXPECT_THAT(lineWithPID(out, kept.pid(), 15), HasSubstr("  [Protected by your rule]"));
  EXPECT_NE(lineWithPID(out, fresh.pid(), 15), "");
}

TEST(Ports, OneLinePerPortAndAnotherUsersListenerIsTagged) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to start another user's listener";
  testing::IsolatedHome home;
  testing::writeRepositoryWithWorktree(home);
  auto mine = ChildProcess::helper({"listen", "127.0.0.1"}, {.cwd = home.home() / "code/shop"});
  auto theirs = ChildProcess::helper({"listen", "127.0.0.1"}, {.uid = 65534});
  const auto myPort = mine.reportedNumbers().at(0);
  const auto theirPort = theirs.reportedNumbers().at(0);
  waitUntilListed();

  const auto text = home.glimmet({"ports"});
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(lineWithPID(text.out, mine.pid(), 7), padCut(":" + std::to_string(myPort), 6) + " " +
                                                      padCut(std::to_string(mine.pid()), 7) +
                                                      " glimmet_process_helper  shop");
  EXPECT_THAT(lineWithPID(text.out, theirs.pid(), 7), HasSubstr("  [Owned by another user]"));

  const auto json = home.glimmet({"ports", "--json"});
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(testing::schemaProblems("ports", json.out), "");
  const auto document = nlohmann::json::parse(json.out);
  EXPECT_EQ(document["command"], "ports");
  bool found = false;
  for (const auto& listener : document["listeners"])
    if (listener["port"] == theirPort) {
      found = true;
      EXPECT_EQ(listener["ownedByCurrentUser"], false);
      EXPECT_EQ(listener["protected"], "Owned by another user");
    }
  EXPECT_TRUE(found);

  // ls lists another user's listener too, without its command or folder.
  const auto ls = nlohmann::json::parse(home.glimmet({"ls", "--json"}).out);
  const auto* foreign = serverWithPID(ls["servers"], theirs.pid());
  ASSERT_NE(foreign, nullptr);
  EXPECT_FALSE(foreign->contains("command"));
  EXPECT_FALSE(foreign->contains("cwd"));
}

// The signatures are compiled once and read back from the tool's cache
// afterwards; a damaged cache is read past and made whole again.
TEST(Ls, FrameworksMatchThroughTheCompiledSignatureCache) {
  testing::IsolatedHome home;
  auto vite = ChildProcess::helper({"listen", "127.0.0.1"}, {.cwd = home.home(), .argv0 = "vite"});
  vite.reportedNumbers();
  waitUntilListed();
  const auto cache = home.home() / ".cache/glimmet/signatures.cache";
  const auto framework = [&] {
    const auto document = nlohmann::json::parse(home.glimmet({"ls", "--json"}).out);
    const auto* server = serverWithPID(document["servers"], vite.pid());
    return server == nullptr ? nlohmann::json() : (*server)["framework"];
  };

  EXPECT_EQ(framework(), "Vite");
  ASSERT_TRUE(std::filesystem::exists(cache));
  EXPECT_EQ(std::filesystem::status(cache).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  const auto written = std::filesystem::file_size(cache);
  EXPECT_EQ(framework(), "Vite");  // from the cache

  home.dir().write("home/.cache/glimmet/signatures.cache",
                   "glimmet compiled signatures 1\n" + std::string(4096, '\xff'));
  EXPECT_EQ(framework(), "Vite");
  EXPECT_EQ(std::filesystem::file_size(cache), written);
}

}  // namespace
}  // namespace glimmet
