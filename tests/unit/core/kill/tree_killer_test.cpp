// The tree killer's decisions over a scripted system: which signals go where,
// when SIGKILL follows, and what is never signalled.
#include "core/kill/tree_killer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <map>
#include <set>

namespace glimmet {
namespace {

using ::testing::ElementsAre;

constexpr uid_t kMe = 501;
constexpr std::uint64_t kStart = 1'000'000;

// Processes that exit on SIGTERM unless told to ignore it, and always on SIGKILL.
// The signaller runs the killer's checks over the scripted live state, as the
// real one does over procfs.
struct ScriptedSystem final : ProcessInspector, Signaller {
  std::map<pid_t, LiveProcess> alive;
  std::set<pid_t> ignoresTerm;
  std::set<pid_t> forbidden;  // answers EPERM
  // What a process does when SIGTERM reaches it instead of exiting: it exec's,
  // changes owner, or forks, during the grace period.
  std::map<pid_t, std::function<void(ScriptedSystem&)>> onTerm;
  std::vector<std::string> calls;

  void add(const ProcessRecord& r) {
    alive[r.pid()] = {.identity = r.identity,
                      .pgid = r.pgid,
                      .realUID = r.uid,
                      .effectiveUID = r.uid,
                      .savedUID = r.uid,
                      .status = ProcessStatus::running,
                      .name = r.name,
                      .path = r.path,
                      .argv = r.argv,
                      .hasControllingTTY = r.hasControllingTTY};
  }
  std::optional<LiveProcessState> state(pid_t pid) const override {
    const auto found = alive.find(pid);
    if (found == alive.end()) return std::nullopt;
    const LiveProcess& live = found->second;
    return LiveProcessState{.startTime = live.identity.startTime,
                            .uid = live.effectiveUID,
                            .pgid = live.pgid,
                            .status = live.status,
                            .path = live.path};
  }
  std::optional<LiveProcess> live(pid_t pid) const override {
    const auto found = alive.find(pid);
    if (found == alive.end()) return std::nullopt;
    return found->second;
  }
  void deliver(pid_t pid, int number) {
    if (number == SIGKILL) {
      alive.erase(pid);
    } else if (const auto reaction = onTerm.find(pid); reaction != onTerm.end()) {
      reaction->second(*this);
    } else if (!ignoresTerm.contains(pid)) {
      alive.erase(pid);
    }
  }
  SignalResult signal(const ProcessIdentity& process, int number,
                      const SignalCheck& check) override {
    const auto found = alive.find(process.pid);
    if (found == alive.end() || found->second.identity != process) {
      return {SignalOutcome::noSuchProcess, std::nullopt};
    }
    if (auto reason = check(found->second)) return {SignalOutcome::refused, reason};
    calls.push_back("kill " + std::to_string(process.pid) + " " + std::to_string(number));
    if (forbidden.contains(process.pid)) return {SignalOutcome::notPermitted, std::nullopt};
    deliver(process.pid, number);
    return {SignalOutcome::sent, std::nullopt};
  }
  SignalOutcome signalGroup(pid_t pgid, int number, const GroupCheck& check) override {
    std::vector<LiveProcess> group;
    for (const auto& [pid, live] : alive)
      if (live.pgid == pgid) group.push_back(live);
    if (!check(group)) return SignalOutcome::refused;
    calls.push_back("killpg " + std::to_string(pgid) + " " + std::to_string(number));
    for (const auto& live : group) deliver(live.identity.pid, number);
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
  SystemProcessTable systemTable;
  TreeKiller killer{system, system, protectedList, context, systemTable, clock};

  ProcessSnapshot snapshotOf(std::vector<ProcessRecord> records) {
    for (const auto& r : records) system.add(r);
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
  system.alive[200].identity.startTime = kStart + 1;  // another process took the pid
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
    SignalResult signal(const ProcessIdentity&, int, const SignalCheck&) override {
      return {SignalOutcome::noSuchProcess, std::nullopt};
    }
    SignalOutcome signalGroup(pid_t, int, const GroupCheck&) override {
      return SignalOutcome::noSuchProcess;
    }
  } vanishing;
  TreeKiller racing{vanishing, system, protectedList, context, systemTable, clock};
  const auto snapshot = snapshotOf({record(200, 1, 200)});
  const auto report = racing.kill({200, kStart}, snapshot, {}, std::nullopt, {});
  EXPECT_EQ(report.status, KillReport::Status::refused);
  EXPECT_TRUE(report.refusal->alreadyStopped());
}

// During the grace period a member that ignored SIGTERM becomes something that
// is not ours to stop: the check before SIGKILL sees it and sends nothing.
struct OwnerChange {
  const char* what;
  void (*apply)(LiveProcess&);
};

class AfterSIGTERM : public TreeKillerTest, public ::testing::WithParamInterface<OwnerChange> {};

TEST_P(AfterSIGTERM, AMemberWhoseOwnerChangedIsNotSIGKILLed) {
  const auto snapshot =
      snapshotOf({record(200, 1, 200), record(201, 200, 200), record(202, 200, 200)});
  system.ignoresTerm = {202};
  system.onTerm[201] = [](ScriptedSystem& s) { GetParam().apply(s.alive[201]); };
  const auto report = kill(snapshot, 200, KillOptions::make(1));

  EXPECT_TRUE(system.alive.contains(201)) << GetParam().what;
  EXPECT_THAT(system.calls, ElementsAre("killpg 200 15", "kill 202 9"));
  EXPECT_EQ(report.outcomes[1].outcome.kind, MemberOutcome::Kind::skipped);
  EXPECT_EQ(report.outcomes[1].outcome.reason->kind, SkipReason::Kind::otherUser);
  // It is still running, and we meant to stop it: not everything stopped.
  EXPECT_EQ(report.status, KillReport::Status::partial);
  EXPECT_FALSE(report.anyNotPermitted());
  EXPECT_EQ(report.freedBytes, 2'000'000u);
}

INSTANTIATE_TEST_SUITE_P(
    TreeKiller, AfterSIGTERM,
    ::testing::Values(
        // exec of a setuid-root program: the kernel would still let us signal it.
        OwnerChange{"setuid exec", [](LiveProcess& p) { p.effectiveUID = p.savedUID = 0; }},
        OwnerChange{"setuid() to another user",
                    [](LiveProcess& p) { p.realUID = p.effectiveUID = p.savedUID = 65534; }},
        OwnerChange{"only the real uid", [](LiveProcess& p) { p.realUID = 0; }},
        // A setuid program that dropped its effective uid for a while can take it back.
        OwnerChange{"only the saved uid", [](LiveProcess& p) { p.savedUID = 0; }}));

TEST_F(TreeKillerTest, AMemberThatExecdIntoADatabaseIsNotSIGKILLed) {
  const auto snapshot = snapshotOf({record(200, 1, 200), record(201, 200, 201)});
  system.onTerm[201] = [](ScriptedSystem& s) {
    s.alive[201].name = "postgres";
    s.alive[201].argv = {"postgres", "-D", "/var/lib/db"};
  };
  const auto report = kill(snapshot, 200, KillOptions::make(1));
  EXPECT_TRUE(system.alive.contains(201));
  EXPECT_THAT(system.calls, ElementsAre("killpg 200 15", "kill 201 15"));
  EXPECT_EQ(report.outcomes[1].outcome.reason->text(), "protected by default: local databases");
  EXPECT_EQ(report.status, KillReport::Status::partial);
  EXPECT_THAT(report.signalsSent, ElementsAre(SIGTERM));
}

TEST_F(TreeKillerTest, ProtectionLooksAtWhatTheMemberRunsNowAndWhatTheSnapshotSaw) {
  protectedList.userRules.push_back({ProtectedList::UserRule::Kind::commandGlob, "*agent.js*"});
  const auto snapshot = snapshotOf(
      {record(200, 1, 200), record(201, 200, 200), record(202, 200, 200), record(203, 200, 200)});
  system.alive[201].name = "claude";  // exec'd into an agent after the snapshot
  system.alive[202].argv = {"node", "agent.js"};
  system.alive[203].path = "/opt/Cursor.app/Contents/MacOS/Cursor";
  const auto report = kill(snapshot, 200, KillOptions::make(1, true));
  EXPECT_THAT(system.calls, ElementsAre("kill 200 9"));
  for (std::size_t i = 1; i <= 3; ++i) {
    EXPECT_EQ(report.outcomes[i].outcome.reason->kind, SkipReason::Kind::protectedProcess) << i;
  }
  // Skipped before anything was sent to them, as in any preflight: not partial.
  EXPECT_EQ(report.status, KillReport::Status::done);
}

TEST_F(TreeKillerTest, AGroupJoinedByANewcomerGetsMemberSignalsNotKillpg) {
  const auto snapshot =
      snapshotOf({record(200, 1, 200), record(201, 200, 200), record(202, 200, 200)});
  system.ignoresTerm = {200, 201, 202};
  // 201 forks during the grace period: the child is in the group but was never checked.
  system.onTerm[201] = [](ScriptedSystem& s) {
    s.alive[300] = s.alive[201];
    s.alive[300].identity = {300, kStart + 5};
  };
  kill(snapshot, 200, KillOptions::make(1));
  EXPECT_THAT(system.calls, ElementsAre("killpg 200 15", "kill 200 9", "kill 201 9", "kill 202 9"));
  EXPECT_TRUE(system.alive.contains(300));
}

TEST_F(TreeKillerTest, AGroupWithOneMemberNowOwnedByRootGetsMemberSignalsNotKillpg) {
  const auto snapshot =
      snapshotOf({record(200, 1, 200), record(201, 200, 200), record(202, 200, 200)});
  system.ignoresTerm = {200, 202};
  system.onTerm[201] = [](ScriptedSystem& s) { s.alive[201].effectiveUID = 0; };
  const auto report = kill(snapshot, 200, KillOptions::make(1));
  EXPECT_THAT(system.calls, ElementsAre("killpg 200 15", "kill 200 9", "kill 202 9"));
  EXPECT_TRUE(system.alive.contains(201));
  EXPECT_EQ(report.outcomes[1].outcome.reason->kind, SkipReason::Kind::otherUser);
}

TEST_F(TreeKillerTest, ARootThatChangesOwnerBeforeItsSignalIsRefusedForThatReason) {
  // The check at signal time differs from the preflight one: the root became
  // another user's in between, so it is refused as such, not as "already stopped".
  struct ChangingInspector final : ProcessInspector {
    ScriptedSystem& system;
    explicit ChangingInspector(ScriptedSystem& s) : system(s) {}
    std::optional<LiveProcessState> state(pid_t pid) const override { return system.state(pid); }
    std::optional<LiveProcess> live(pid_t pid) const override {
      auto seen = system.live(pid);
      system.alive[pid].realUID = 0;  // right after we looked
      return seen;
    }
  } changing{system};
  TreeKiller racing{system, changing, protectedList, context, systemTable, clock};
  const auto snapshot = snapshotOf({record(200, 1, 200)});
  const auto report = racing.kill({200, kStart}, snapshot, {}, std::nullopt, {});
  EXPECT_EQ(report.status, KillReport::Status::refused);
  EXPECT_EQ(report.refusal->text(), "owned by another user");
  EXPECT_TRUE(system.calls.empty());
}

}  // namespace
}  // namespace glimmet
