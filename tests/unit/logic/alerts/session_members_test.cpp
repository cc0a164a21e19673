// A session's processes over crafted tables: descendants, what was re-parented
// after the ancestry records put it under the agent, and never another
// user's process or a zombie.
#include "logic/alerts/session_members.h"

#include <gtest/gtest.h>

#include "core/ghosts/match_cache.h"
#include "support/shipped_data.h"

namespace glimmet {
namespace {

const auto kNow = std::chrono::system_clock::time_point(std::chrono::seconds(2'000'000'000));
const ProcessIdentity kAgent{1000, 5};

ProcessRecord process(pid_t pid, pid_t ppid, std::vector<std::string> argv) {
  ProcessRecord r;
  r.identity = {pid, 5};
  r.ppid = ppid;
  r.name = argv[0].substr(argv[0].rfind('/') + 1);
  r.argv = std::move(argv);
  return r;
}

std::vector<pid_t> pidsOf(const std::vector<SessionMember>& members) {
  std::vector<pid_t> pids;
  for (const auto& member : members) pids.push_back(member.record->pid());
  return pids;
}

TEST(SessionMembers, DescendantsThenTheReparentedAndNoOneElse) {
  const auto shell = process(900, 1, {"/usr/bin/zsh"});
  const auto claude = process(1000, 900, {"/home/me/.local/bin/claude"});
  const auto tool = process(1001, 1000, {"/bin/bash", "-c", "nohup python3 -m http.server &"});
  auto server = process(1002, 1001, {"/usr/bin/python3", "-m", "http.server"});
  const auto mcp = process(1003, 1000, {"/usr/bin/node", "/opt/mcp/server-filesystem.js"});
  auto otherUser = process(1004, 1000, {"/usr/bin/sudo", "true"});
  otherUser.uid = 1;
  auto zombie = process(1005, 1000, {"/bin/true"});
  zombie.status = ProcessStatus::zombie;
  const auto bystander = process(2000, 900, {"/usr/bin/vim"});

  AncestryRecorder ancestry;
  MatchCache cache(testing::shippedSignatures());
  const ProcessSnapshot before(kNow,
                               {shell, claude, tool, server, mcp, otherUser, zombie, bystander});
  ancestry.observe(before, kNow, cache);
  const auto first = sessionMembers(kAgent, before, ancestry, 0);
  EXPECT_EQ(pidsOf(first), (std::vector<pid_t>{1001, 1003, 1002}));
  EXPECT_FALSE(first[0].mcpServer);
  EXPECT_TRUE(first[1].mcpServer);

  // The tool exits and its server is re-parented: still the session's.
  server.ppid = 1;
  const ProcessSnapshot after(kNow, {shell, claude, server, mcp, bystander});
  const auto second = sessionMembers(kAgent, after, ancestry, 0);
  EXPECT_EQ(pidsOf(second), (std::vector<pid_t>{1003, 1002}));
  EXPECT_NE(membersDigest(first), membersDigest(second));
  EXPECT_EQ(membersDigest(second), membersDigest(std::vector<SessionMember>{second[1], second[0]}));

  // The agent has exited: what the records put under it is what it left.
  auto orphanedMCP = mcp;
  orphanedMCP.ppid = 1;
  const ProcessSnapshot ended(kNow, {shell, server, orphanedMCP, bystander});
  EXPECT_EQ(pidsOf(sessionMembers(kAgent, ended, ancestry, 0)), (std::vector<pid_t>{1002, 1003}));
}

}  // namespace
}  // namespace glimmet
