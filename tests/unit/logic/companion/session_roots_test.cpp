// The live sessions the companion hands its reaper are the ones `glimmet
// agents` shows: the outermost agent of each tree, the user's own, alive.
#include "logic/companion/session_roots.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/shipped_data.h"

namespace glimmet {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr uid_t kUser = 1000;
const auto kNow = std::chrono::system_clock::time_point(std::chrono::seconds(2'000'000'000));

ProcessRecord process(pid_t pid, pid_t ppid, std::string argv0, uid_t uid = kUser) {
  ProcessRecord record;
  record.identity = {pid, 1'900'000'000'000'000 + static_cast<std::uint64_t>(pid)};
  record.ppid = ppid;
  record.uid = uid;
  record.name = argv0.substr(argv0.rfind('/') + 1);
  record.path = argv0;
  record.argv = {argv0};
  record.status = ProcessStatus::running;
  return record;
}

TEST(SessionRoots, TheOutermostLiveAgentOfTheUserRootsEachSession) {
  auto zombie = process(700, 1, "/home/me/.local/bin/claude");
  zombie.status = ProcessStatus::zombie;
  const ProcessSnapshot snapshot(
      kNow, {process(1, 0, "/sbin/init"), process(300, 1, "/usr/bin/gnome-terminal-server"),
             process(301, 300, "/usr/bin/bash"), process(400, 301, "/home/me/.local/bin/claude"),
             process(401, 400, "/usr/bin/zsh"), process(402, 401, "/home/me/.local/bin/codex"),
             process(500, 1, "/home/me/.local/bin/codex"), zombie,
             process(800, 1, "/home/other/.local/bin/claude", 1001),
             process(50, 1, "/home/me/.local/bin/claude")});
  MatchCache cache(testing::shippedSignatures());
  // Under a terminal, the agent still roots its session; the codex inside it
  // belongs to it; a zombie has ended; another user's and a system one never count.
  EXPECT_THAT(liveSessionRoots(snapshot, cache, kUser, kNow),
              ElementsAre(snapshot.record(400)->identity, snapshot.record(500)->identity));
}

TEST(SessionRoots, TheAgentsChangeWhenOneComesGoesOrMovesOutFromUnderAnother) {
  MatchCache cache(testing::shippedSignatures());
  const auto init = process(1, 0, "/sbin/init");
  const auto outer = process(400, 1, "/home/me/.local/bin/claude");
  auto inner = process(402, 400, "/home/me/.local/bin/codex");
  const ProcessSnapshot before(kNow, {init, outer, inner, process(403, 402, "/usr/bin/node")});
  const auto agents = agentProcesses(before, cache);
  ASSERT_EQ(agents.size(), 2u) << "node is no agent";
  EXPECT_THAT(liveSessionRoots(before, cache, kUser, kNow), ElementsAre(outer.identity));

  // The outer agent exited and the inner one was re-parented: a session of its own.
  inner.ppid = 1;
  const ProcessSnapshot after(kNow, {init, inner});
  EXPECT_NE(agentProcesses(after, cache), agents);
  EXPECT_THAT(liveSessionRoots(after, cache, kUser, kNow), ElementsAre(inner.identity));
  EXPECT_THAT(liveSessionRoots(ProcessSnapshot(kNow, {init}), cache, kUser, kNow), IsEmpty());
}

}  // namespace
}  // namespace glimmet
