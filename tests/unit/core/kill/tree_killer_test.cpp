// The tree killer's decisions over a scripted system: which signals go where,
// when SIGKILL follows, and what is never signalled.
#include "core/kill/tree_killer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <set>

namespace glimmet {
namespace {

using ::testing::ElementsAre;

constexpr uid_t kMe = 501;
constexpr std::uint64_t kStart = 1'000'000;

// Processes that exit on SIGTERM unless told to ignore it, and always on SIGKILL.
struct ScriptedSystem final : ProcessInspector, Signaller {
  std::map<pid_t, LiveProcessState> alive;
  std::set<pid_t> ignoresTerm;
  std::set<pid_t> forbidden;  // answers EPERM
  std::vector<std::string> calls;

  void add(pid_t pid, pid_t pgid, uid_t uid = kMe) {
    alive[pid] = {.startTime = kStart, .uid = uid, .pgid = pgid, .status = {}, .path = {}};
  }
  std::optional<LiveProcessState> state(pid_t pid) const override {
    const auto found = alive.find(pid);
    if (found == alive.end()) return std::nullopt;
    return found->second;
  }
  std::vector<pid_t> groupMembers(pid_t pgid) const override {
    std::vector<pid_t> pids;
    for (const auto& [pid, live] : alive)
      if (live.pgid == pgid) pids.push_back(pid);
    return pids;
  }
  void deliver(pid_t pid, int number) {
    if (number == SIGKILL || !ignoresTerm.contains(pid)) alive.erase(pid);
  }
  SignalOutcome signal(const ProcessIdentity& process, int number) override {
    calls.push_back("kill " + std::to_string(process.pid) + " " + std::to_string(number));
    if (forbidden.contains(process.pid)) return SignalOutcome::notPermitted;
    const auto live = state(process.pid);
    if (!live || live->startTime != process.startTime) return SignalOutcome::noSuchProcess;
    deliver(process.pid, number);
    return SignalOutcome::sent;
  }
  SignalOutcome signalGroup(pid_t pgid, int number) override {
    calls.push_back("killpg " + std::to_string(pgid) + " " + std::to_string(number));
    for (const pid_t pid : groupMembers(pgid)) deliver(pid, number);
    return SignalOutcome::sent;
  }
};

struct FakeClock final : KillClock {
  double seconds = 0;
  double slept = 0;
  double now() const override { return seconds; }
  void sleep(double duration) override {
    seconds += duration;
    slept += duration;
  }
};

ProcessRecord record(pid_t pid, pid_t ppid, pid_t pgid, std::string name = "node") {
  ProcessRecord r;
  r.identity = {pid, kStart};
  r.ppid = ppid;
  r.pgid = pgid;
  r.uid = kMe;
  r.name = name;
  r.argv = {name, "server.js"};
  r.footprint = 1'000'000;
  return r;
}

struct TreeKillerTest : ::testing::Test {
  ScriptedSystem system;
  FakeClock clock;
  ProtectedList protectedList;
  ProtectionContext context{.currentUID = kMe, .ownPID = 5};
  platform::SystemProcessTable systemTable;
  TreeKiller killer{system, system, protectedList, context, systemTable, clock};

  ProcessSnapshot snapshotOf(std::vector<ProcessRecord> records) {
    for (const auto& r : records) system.add(r.pid(), r.pgid, r.uid);
    return ProcessSnapshot({}, std::move(records));
  }
  KillReport kill(const ProcessSnapshot& snapshot, pid_t pid, KillOptions options = {}) {
    return killer.kill({pid, kStart}, snapshot, {}, std::nullopt, options);
  }
};

TEST(KillOptions, GraceIsClampedIntoOneToFifteenSeconds) {
  EXPECT_EQ(KillOptions::make(0).gracePeriod, 1);
  EXPECT_EQ(KillOptions::make(-3).gracePeriod, 1);
  EXPECT_EQ(KillOptions::make(60).gracePeriod, 15);
  EXPECT_EQ(KillOptions::make(4.5).gracePeriod, 4.5);
  EXPECT_EQ(KillOptions::make(std::nan("")).gracePeriod, 1);
}

TEST_F(TreeKillerTest, AWholeGroupOfTheTreeGetsOneGroupSignal) {
  const auto snapshot =
      snapshotOf({record(200, 1, 200), record(201, 200, 200), record(202, 200, 200)});
  const auto report = kill(snapshot, 200);
  EXPECT_EQ(report.status, KillReport::Status::done);
  EXPECT_THAT(system.calls, ElementsAre("killpg 200 15"));
  EXPECT_THAT(report.signalsSent, ElementsAre(SIGTERM));
  EXPECT_EQ(report.freedBytes, 3'000'000u);
  for (const auto& member : report.outcomes)
    EXPECT_EQ(member.outcome.kind, MemberOutcome::Kind::stoppedBySIGTERM);
}

TEST_F(TreeKillerTest, AGroupHoldingAnOutsiderIsSignalledMemberByMember) {
  auto outsider = record(300, 1, 200, "postgres");
  const auto snapshot = snapshotOf({record(200, 1, 200), record(201, 200, 200), outsider});
  kill(snapshot, 200);
  EXPECT_THAT(system.calls, ElementsAre("kill 200 15", "kill 201 15"));
  EXPECT_TRUE(system.alive.contains(300));
}

TEST_F(TreeKillerTest, ASetsidChildOutsideTheGroupGetsItsOwnSignal) {
  const auto snapshot =
      snapshotOf({record(200, 1, 200), record(201, 200, 200), record(202, 200, 202)});
  const auto report = kill(snapshot, 200);
  EXPECT_THAT(system.calls, ElementsAre("killpg 200 15", "kill 202 15"));
  EXPECT_EQ(report.status, KillReport::Status::done);
}

TEST_F(TreeKillerTest, SIGKILLFollowsOnlyWhatOutlivedTheGrace) {
  system.ignoresTerm = {201};
  const auto snapshot =
      snapshotOf({record(200, 1, 200), record(201, 200, 200), record(202, 200, 200)});
  const auto report = kill(snapshot, 200, KillOptions::make(2));
  EXPECT_THAT(report.signalsSent, ElementsAre(SIGTERM, SIGKILL));
  EXPECT_TRUE(report.neededSIGKILLAfterSIGTERM());
  // Only the survivor is left, so it gets its own SIGKILL, after the whole grace.
  EXPECT_THAT(system.calls, ElementsAre("killpg 200 15", "kill 201 9"));
  EXPECT_GE(clock.slept, 2.0);
  EXPECT_EQ(report.outcomes[1].outcome.kind, MemberOutcome::Kind::stoppedBySIGKILL);
  EXPECT_EQ(report.outcomes[0].outcome.kind, MemberOutcome::Kind::stoppedBySIGTERM);
}

TEST_F(TreeKillerTest, ForceSendsOnlySIGKILL) {
  system.ignoresTerm = {200};
  const auto snapshot = snapshotOf({record(200, 1, 200)});
  const auto report = kill(snapshot, 200, KillOptions::make(3, true));
  EXPECT_THAT(report.signalsSent, ElementsAre(SIGKILL));
  EXPECT_EQ(report.outcomes[0].outcome.kind, MemberOutcome::Kind::stoppedBySIGKILL);
  EXPECT_FALSE(report.neededSIGKILLAfterSIGTERM());
}

TEST_F(TreeKillerTest, RefusesTheRootWithoutSendingAnything) {
  auto theirs = record(400, 1, 400);
  theirs.uid = 65534;
  const auto snapshot = snapshotOf({record(50, 1, 50), theirs, record(200, 1, 200)});
  EXPECT_EQ(kill(snapshot, 50).refusal->kind, SkipReason::Kind::belowMinimumPID);
  EXPECT_EQ(kill(snapshot, 400).refusal->kind, SkipReason::Kind::otherUser);
  system.alive[200].status = ProcessStatus::zombie;
  EXPECT_EQ(kill(snapshot, 200).refusal->kind, SkipReason::Kind::zombie);
  system.alive[200].status = ProcessStatus::running;
  system.alive[200].startTime = kStart + 1;  // another process took the pid
  EXPECT_EQ(kill(snapshot, 200).refusal->kind, SkipReason::Kind::pidReused);
  system.alive.erase(200);
  const auto gone = kill(snapshot, 200);
  EXPECT_EQ(gone.refusal->kind, SkipReason::Kind::gone);
  EXPECT_EQ(gone.refusal->text(), "it already stopped");
  EXPECT_TRUE(system.calls.empty());
}

TEST_F(TreeKillerTest, AProtectedChildIsLeftAloneAndKeepsTheGroupSignalAway) {
  protectedList.userRules.push_back({ProtectedList::UserRule::Kind::commandGlob, "*keeper*"});
  auto keeper = record(201, 200, 200, "keeper");
  const auto snapshot = snapshotOf({record(200, 1, 200), keeper, record(202, 200, 200)});
  const auto report = kill(snapshot, 200);
  EXPECT_THAT(system.calls, ElementsAre("kill 200 15", "kill 202 15"));
  EXPECT_EQ(report.status, KillReport::Status::done);
  EXPECT_EQ(report.outcomes[1].outcome.kind, MemberOutcome::Kind::skipped);
  EXPECT_EQ(report.outcomes[1].outcome.reason->kind, SkipReason::Kind::protectedProcess);
  EXPECT_TRUE(system.alive.contains(201));
}

TEST_F(TreeKillerTest, ANotPermittedMemberMakesThePartialReport) {
  system.forbidden = {201};
  auto outsider = record(300, 1, 200);
  const auto snapshot = snapshotOf({record(200, 1, 200), record(201, 200, 201), outsider});
  const auto report = kill(snapshot, 200);
  EXPECT_EQ(report.status, KillReport::Status::partial);
  EXPECT_TRUE(report.anyNotPermitted());
  EXPECT_EQ(report.freedBytes, 1'000'000u);
}

TEST_F(TreeKillerTest, ARootThatExitsBeforeItsSignalIsReportedAsAlreadyStopped) {
  struct VanishingSignaller final : Signaller {
    SignalOutcome signal(const ProcessIdentity&, int) override {
      return SignalOutcome::noSuchProcess;
    }
    SignalOutcome signalGroup(pid_t, int) override { return SignalOutcome::noSuchProcess; }
  } vanishing;
  TreeKiller racing{vanishing, system, protectedList, context, systemTable, clock};
  const auto snapshot = snapshotOf({record(200, 1, 200)});
  const auto report = racing.kill({200, kStart}, snapshot, {}, std::nullopt, {});
  EXPECT_EQ(report.status, KillReport::Status::refused);
  EXPECT_TRUE(report.refusal->alreadyStopped());
}

}  // namespace
}  // namespace glimmet
