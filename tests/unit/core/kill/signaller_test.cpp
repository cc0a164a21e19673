// The real signaller against processes the test starts: the check sees the
// process as it is and a refusal sends nothing; a group signal goes only when
// the check accepts everything in the group.
#include "core/kill/signaller.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include "core/process/system_process_inspector.h"
#include "support/child_process.h"
#include "support/process_alive.h"

namespace glimmet {
namespace {

using testing::ChildProcess;

using testing::alive;

ProcessIdentity identityOf(pid_t pid) {
  return SystemProcessInspector(::geteuid()).live(pid).value().identity;
}

TEST(SystemSignaller, SendsOnlyWhatTheCheckOfTheLiveProcessAllows) {
  auto child = ChildProcess::helper({"sleep"});
  SystemSignaller signaller(::geteuid());
  const auto identity = identityOf(child.pid());
  LiveProcess seen;
  const auto refused = signaller.signal(identity, SIGKILL, [&](const LiveProcess& live) {
    seen = live;
    return std::optional(SkipReason::of(SkipReason::Kind::otherUser));
  });
  EXPECT_EQ(refused.outcome, SignalOutcome::refused);
  EXPECT_EQ(refused.failedCheck->kind, SkipReason::Kind::otherUser);
  EXPECT_TRUE(alive(child.pid()));
  EXPECT_EQ(seen.identity, identity);
  EXPECT_EQ(seen.commandLine(), testing::helperBinary().string() + " sleep");
  EXPECT_TRUE(seen.whollyOwnedBy(::geteuid()));

  // Another start time is another process: never signalled, whatever the check says.
  const auto wrongIncarnation = signaller.signal({identity.pid, identity.startTime + 1}, SIGKILL,
                                                 [](const LiveProcess&) { return std::nullopt; });
  EXPECT_EQ(wrongIncarnation.outcome, SignalOutcome::noSuchProcess);
  EXPECT_TRUE(alive(child.pid()));

  const auto sent = signaller.signal(
      identity, SIGKILL,
      [](const LiveProcess&) -> std::optional<SkipReason> { return std::nullopt; });
  EXPECT_EQ(sent.outcome, SignalOutcome::sent);
  EXPECT_EQ(child.waitForExit(5), 128 + SIGKILL);
}

TEST(SystemSignaller, SignalsAGroupOnlyWhenTheCheckAcceptsAllOfIt) {
  auto tree = ChildProcess::helper({"spawn", "2"});
  const auto pids = tree.reportedNumbers();
  SystemSignaller signaller(::geteuid());
  std::size_t groupSize = 0;
  const auto refused =
      signaller.signalGroup(tree.pid(), SIGKILL, [&](const std::vector<LiveProcess>& group) {
        groupSize = group.size();
        return false;
      });
  EXPECT_EQ(refused, SignalOutcome::refused);
  EXPECT_EQ(groupSize, 3u);
  for (const long pid : pids) EXPECT_TRUE(alive(static_cast<pid_t>(pid))) << pid;

  // Our own group is never signalled, whatever the check says.
  EXPECT_EQ(signaller.signalGroup(::getpgrp(), 0, [](const auto&) { return true; }),
            SignalOutcome::refused);

  EXPECT_EQ(signaller.signalGroup(tree.pid(), SIGKILL, [](const auto&) { return true; }),
            SignalOutcome::sent);
  EXPECT_EQ(tree.waitForExit(5), 128 + SIGKILL);
  for (int i = 0;
       i < 50 && (alive(static_cast<pid_t>(pids[1])) || alive(static_cast<pid_t>(pids[2]))); ++i)
    usleep(20'000);
  EXPECT_FALSE(alive(static_cast<pid_t>(pids[1])));
  EXPECT_FALSE(alive(static_cast<pid_t>(pids[2])));
}

}  // namespace
}  // namespace glimmet
