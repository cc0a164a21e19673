#include "logic/mcp/quit_request_review.h"

#include <gtest/gtest.h>

#include "logic/mcp/quit_request_text.h"

namespace glimmet {
namespace {

using namespace std::chrono_literals;

constexpr uid_t kMe = 1000;
const SystemTime kFiled(std::chrono::seconds(1'800'000'000));
const SystemTime kNow = kFiled + 10min;

std::uint64_t microseconds(SystemTime time) {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(time.time_since_epoch()).count());
}

ProcessRecord record(pid_t pid, pid_t ppid, std::string name, std::vector<std::string> argv) {
  ProcessRecord r;
  r.identity = {pid, microseconds(kFiled - 1h)};
  r.ppid = ppid;
  r.uid = kMe;
  r.name = std::move(name);
  r.path = "/opt/" + r.name;
  r.argv = std::move(argv);
  r.footprint = 1'000'000;
  return r;
}

// An agent with a dev server, a protected helper and a child re-parented out of
// its tree; a plain process with a protected child and a grandchild.
class QuitRequestReviewTest : public ::testing::Test {
 protected:
  QuitRequestReviewTest() {
    context_.currentUID = kMe;
    context_.ownPID = 10;
    context_.shellsOnlyForTTY = true;
    rules_.userRules.push_back({ProtectedList::UserRule::Kind::commandGlob, "*keep*"});
    records_ = {record(500, 1, "claude", {"claude"}),
                record(501, 500, "vite", {"vite", "--port", "5173"}),
                record(502, 500, "node", {"node", "keep.js"}),
                record(504, 1, "node", {"node", "detached.js"}),
                record(200, 1, "node", {"node", "server.js"}),
                record(210, 200, "node", {"node", "keep-worker.js"}),
                record(211, 210, "node", {"node", "grandchild.js"})};
    sessions_.push_back({.pid = 500,
                         .agent = "Claude Code",
                         .children = {{.pid = 501, .name = "vite", .ports = {5173}},
                                      {.pid = 502, .name = "node"},
                                      {.pid = 504, .name = "node"}}});
    roots_.push_back({500, "Claude Code"});
  }

  QuitRequestReview review(MCPQuitRequest request) {
    snapshot_ = ProcessSnapshot(kNow, records_);
    const SafetyView safety{snapshot_, servers_, roots_, context_, rules_, system_};
    const QuitView view{safety, sessions_, kMe};
    return reviewQuitRequest(request, view, kNow);
  }

  static MCPQuitRequest request(std::string kind, std::optional<std::int32_t> pid,
                                std::optional<std::int32_t> sessionPID = std::nullopt) {
    return {
        .id = "REQ", .time = kFiled, .kind = std::move(kind), .pid = pid, .sessionPID = sessionPID};
  }

  ProcessRecord& at(pid_t pid) {
    return *std::find_if(records_.begin(), records_.end(),
                         [&](const ProcessRecord& r) { return r.pid() == pid; });
  }

  ProtectionContext context_;
  ProtectedList rules_;
  SystemProcessTable system_{.pathPrefixes = {"/usr/sbin/"}};
  std::vector<ProcessRecord> records_;
  ProcessSnapshot snapshot_;
  std::vector<DevServer> servers_;
  std::vector<SessionRoot> roots_;
  std::vector<AgentSession> sessions_;
};

TEST_F(QuitRequestReviewTest, ASessionPlanListsEveryMemberWithWhyItIsLeftAlone) {
  const auto session = review(request("session", std::nullopt, 500));
  ASSERT_EQ(session.standing, QuitRequestReview::Standing::askFirst);
  ASSERT_TRUE(session.plan);
  EXPECT_TRUE(session.plan->session);
  const auto& members = session.plan->members;
  ASSERT_EQ(members.size(), 4u);
  EXPECT_EQ(members[0].skipReason, "Protected by default: AI agents");
  EXPECT_TRUE(members[1].included);
  EXPECT_EQ(members[1].ports, (std::vector<std::uint16_t>{5173}));
  EXPECT_EQ(members[2].skipReason, "Protected by your rule");
  EXPECT_TRUE(members[3].included);
  EXPECT_TRUE(members[3].detached);
  EXPECT_EQ(session.what(), "session 500 (Claude Code)");
  EXPECT_EQ(planSummary(session),
            "Stops 2 of 4 processes (2.0 MB). Left alone: PID 500 claude (Protected by default: "
            "AI agents), PID 502 node (Protected by your rule).");
  // The agent's pid named as a pid is the same session.
  EXPECT_TRUE(review(request("pid", 500)).plan->session);
}

TEST_F(QuitRequestReviewTest, APIDPlanIsItsTreeAndSkipsWhatIsProtectedInside) {
  const auto tree = review(request("pid", 200));
  ASSERT_TRUE(tree.plan);
  EXPECT_FALSE(tree.plan->session);
  ASSERT_EQ(tree.plan->members.size(), 3u);
  EXPECT_EQ(tree.plan->members[1].skipReason, "Protected by your rule");
  std::vector<pid_t> roots;
  for (const auto* member : tree.plan->treeRoots()) roots.push_back(member->pid);
  EXPECT_EQ(roots, (std::vector<pid_t>{200, 211}));
  const auto lines = reviewLines(tree);
  EXPECT_EQ(lines[0], "Quit request REQ, filed 10 min ago");
  EXPECT_EQ(lines[1], "What: pid 200 (node)");
  EXPECT_EQ(lines[3], "Stop:");
  EXPECT_EQ(lines[4], "  PID 200  node server.js  1.0 MB");
  EXPECT_EQ(lines.back(), "  PID 210  node  Protected by your rule");
  EXPECT_EQ(quitQuestion(*tree.plan), "Stop 2 processes? Type yes: ");
}

// Minutes or hours pass before the answer: what changed since is left alone.
TEST_F(QuitRequestReviewTest, TheVerdictIsTakenAgainAtAnswerTime) {
  at(200).identity.startTime = microseconds(kFiled + 1s);  // within the clock's slack
  EXPECT_EQ(review(request("pid", 200)).standing, QuitRequestReview::Standing::askFirst);

  at(200).identity.startTime = microseconds(kFiled + 5s);
  const auto reused = review(request("pid", 200));
  EXPECT_EQ(reused.standing, QuitRequestReview::Standing::gone);
  EXPECT_EQ(reused.verdict.reason, "PID 200 is another process now: it started after the request.");
  EXPECT_FALSE(reused.plan);
  EXPECT_EQ(leftAloneReceipt(reused).message,
            "Nothing was stopped. PID 200 is another process now: it started after the request.");

  at(200).identity.startTime = microseconds(kFiled - 1h);
  at(200).uid = 65534;
  const auto theirs = review(request("pid", 200));
  EXPECT_EQ(theirs.standing, QuitRequestReview::Standing::leftAlone);
  EXPECT_EQ(theirs.verdict.reason, "Owned by another user.");

  at(200).uid = kMe;
  at(200).argv = {"node", "keep-server.js"};
  EXPECT_EQ(review(request("pid", 200)).verdict.reason,
            "Protected by your rule. Glimmet will not stop it.");

  EXPECT_EQ(review(request("pid", 999)).standing, QuitRequestReview::Standing::gone);
  EXPECT_EQ(review(request("session", std::nullopt, 200)).verdict.reason,
            "Nothing of yours matches.");
  EXPECT_EQ(review(request("nothing", std::nullopt)).standing, QuitRequestReview::Standing::gone);
}

TEST_F(QuitRequestReviewTest, TheNoteIsRedactedAgainWhenShown) {
  auto filed = request("pid", 200);
  filed.note = "stop it --api-key=sk-live-1 postgres://me:hunter2@db/main";
  EXPECT_EQ(review(filed).note(),
            "stop it --api-key=\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2 "
            "postgres://me:\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2@db/main");
}

KillReport report(KillReport::Status status, std::vector<MemberResult> outcomes,
                  std::uint64_t freed = 0) {
  KillReport made;
  made.status = status;
  made.outcomes = std::move(outcomes);
  made.freedBytes = freed;
  return made;
}

MemberResult member(pid_t pid, MemberOutcome outcome) {
  return {{pid, 1}, std::move(outcome)};
}

TEST_F(QuitRequestReviewTest, TheReceiptSaysWhatStoppedAndWhatWasLeftAlone) {
  const auto session = review(request("session", std::nullopt, 500));
  const MemberOutcome stopped{MemberOutcome::Kind::stoppedBySIGTERM, std::nullopt};
  const auto done = carriedOutReceipt(
      session, {{501, "vite", report(KillReport::Status::done, {member(501, stopped)}, 2048)},
                {504, "node", report(KillReport::Status::refused, {})}});
  EXPECT_EQ(done.status, "done");
  EXPECT_EQ(done.message,
            "Stopped 1 process and freed 2 KB. 1 had already stopped. Left alone: PID 500 "
            "claude (Protected by default: AI agents), PID 502 node (Protected by your rule).");

  // A member that turned protected during the stop is left alone and said; one
  // that outlived SIGKILL makes the answer failed.
  const auto protectedNow = SkipReason::protectedBy({ProtectionReason::Kind::userRule});
  const auto failed = carriedOutReceipt(
      session, {{501, "vite",
                 report(KillReport::Status::partial,
                        {member(501, {MemberOutcome::Kind::survived, std::nullopt}),
                         member(505, {MemberOutcome::Kind::skipped, protectedNow})})}});
  EXPECT_EQ(failed.status, "failed");
  EXPECT_EQ(failed.message,
            "Stopped 0 processes. Couldn't stop PID 501. Left alone: PID 500 claude (Protected "
            "by default: AI agents), PID 502 node (Protected by your rule), PID 505 (protected "
            "by your rule).");
  EXPECT_EQ(declinedReceipt("REQ").status, "declined");
}

}  // namespace
}  // namespace glimmet
