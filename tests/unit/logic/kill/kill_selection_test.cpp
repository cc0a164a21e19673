#include "logic/kill/kill_selection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/error.h"
#include "logic/kill/kill_outcome.h"

namespace glimmet {
namespace {

using ::testing::ElementsAre;

constexpr uid_t kMe = 1000;

ProcessRecord process(pid_t pid, uid_t uid = kMe) {
  ProcessRecord r;
  r.identity = {pid, 7};
  r.ppid = 1;
  r.uid = uid;
  r.name = "node";
  return r;
}

const ProcessSnapshot kSnapshot({}, {process(300), process(301), process(302), process(400, 0)});
// In the scanner's order: the first that holds a port is the one a port selects.
const std::vector<ListeningProcess> kListening = {
    {{301, 7}, kMe, {3000, 3001}},
    {{302, 7}, kMe, {3001, 5173}},
};

// The message and status a failed selection ends with.
std::pair<std::string, ExitStatus> failure(const KillTarget& target) {
  try {
    selectKillTarget(target, kSnapshot, kListening);
  } catch (const CommandFailure& failure) {
    return {failure.what(), failure.status()};
  }
  return {"selected", ExitStatus::ok};
}

TEST(SelectKillTarget, APortSelectsTheFirstListenerHoldingItNamedByAllItsPorts) {
  const auto selection = selectKillTarget(PortTarget{3001}, kSnapshot, kListening);
  EXPECT_EQ(selection.root->pid(), 301);
  EXPECT_EQ(selection.target, ":3000 :3001");
  EXPECT_THAT(selection.ports, ElementsAre(3000, 3001));
  EXPECT_EQ(selectKillTarget(PortTarget{5173}, kSnapshot, kListening).target, ":3001 :5173");
}

TEST(SelectKillTarget, APIDSelectsThatProcessWithWhatItListensOnWhoeverOwnsIt) {
  const auto listener = selectKillTarget(PIDTarget{302}, kSnapshot, kListening);
  EXPECT_EQ(listener.target, "PID 302");
  EXPECT_THAT(listener.ports, ElementsAre(3001, 5173));
  // Another user's process is selected; the tree killer is the one that refuses it.
  const auto foreign = selectKillTarget(PIDTarget{400}, kSnapshot, kListening);
  EXPECT_EQ(foreign.root->uid, 0u);
  EXPECT_TRUE(foreign.ports.empty());
}

TEST(SelectKillTarget, NothingToStopIsStatusOneInTheUsersWords) {
  EXPECT_EQ(failure(PortTarget{8080}),
            std::make_pair(std::string("Nothing of yours is listening on :8080."),
                           ExitStatus::nothingFound));
  EXPECT_EQ(failure(PIDTarget{999}),
            std::make_pair(std::string("No process with PID 999."), ExitStatus::nothingFound));
}

KillReport report(KillReport::Status status, std::vector<int> signals = {15}) {
  KillReport r;
  r.status = status;
  r.signalsSent = std::move(signals);
  r.freedBytes = 1536 * 1024;
  return r;
}

TEST(DescribeKill, EachEndingHasItsSentenceAndStatus) {
  const auto done = describeKill(report(KillReport::Status::done), ":3000");
  EXPECT_EQ(done.line, "Freed :3000 and 1.5 MB.");
  EXPECT_EQ(done.status, ExitStatus::ok);
  EXPECT_EQ(describeKill(report(KillReport::Status::done, {15, 9}), "PID 42").line,
            "Freed PID 42 and 1.5 MB (SIGTERM was ignored, SIGKILL used).");
  EXPECT_EQ(describeKill(report(KillReport::Status::done, {9}), "PID 42").line,
            "Freed PID 42 and 1.5 MB.")
      << "a forced kill ignored nothing";

  auto partial = report(KillReport::Status::partial);
  EXPECT_EQ(describeKill(partial, "PID 42").line, "Couldn't stop everything in PID 42.");
  EXPECT_EQ(describeKill(partial, "PID 42").status, ExitStatus::partial);
  partial.outcomes.push_back({{43, 1}, {MemberOutcome::Kind::notPermitted, std::nullopt}});
  EXPECT_EQ(describeKill(partial, "PID 42").status, ExitStatus::cannotStart);
}

TEST(DescribeKill, ARefusalSaysWhyAndATargetAlreadyGoneIsNeitherFailureNorLogged) {
  auto refused = report(KillReport::Status::refused, {});
  refused.refusal = SkipReason::protectedBy(
      {.kind = ProtectionReason::Kind::builtInDefault, .defaultLabel = "Local databases"});
  const auto protectedOne = describeKill(refused, ":5432");
  EXPECT_EQ(protectedOne.line, "Couldn't stop :5432: protected by default: local databases.");
  EXPECT_EQ(protectedOne.status, ExitStatus::cannotStart);
  EXPECT_TRUE(isLogged(refused));

  for (const auto kind : {SkipReason::Kind::gone, SkipReason::Kind::pidReused}) {
    refused.refusal = SkipReason::of(kind);
    const auto gone = describeKill(refused, "PID 42");
    EXPECT_EQ(gone.line, "Couldn't stop PID 42: it already stopped.");
    EXPECT_EQ(gone.status, ExitStatus::nothingFound);
    EXPECT_FALSE(isLogged(refused));
  }
  EXPECT_TRUE(isLogged(report(KillReport::Status::partial)));
}

}  // namespace
}  // namespace glimmet
