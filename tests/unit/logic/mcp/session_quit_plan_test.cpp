#include "logic/mcp/session_quit_plan.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

constexpr uid_t kMe = 1000;

const SystemProcessTable kSystem{.pathPrefixes = {"/usr/sbin/"}, .names = {"sshd"}};

QuitCandidate candidate(pid_t pid, pid_t ppid, std::string name = "node") {
  return {.pid = pid, .ppid = ppid, .uid = kMe, .name = std::move(name), .commandLine = "node x"};
}

TEST(SessionQuitPlan, TheFirstOfTheSevenReasonsDecides) {
  struct Case {
    QuitCandidate candidate;
    std::optional<std::string> reason;
  };
  auto base = candidate(4000, 1);
  const auto with = [&](auto change) {
    auto changed = base;
    change(changed);
    return changed;
  };
  const Case cases[] = {
      {base, std::nullopt},
      {with([](auto& c) { c.pid = 99; }), "System process"},
      {with([](auto& c) { c.path = "/usr/sbin/cron"; }), "System process"},
      // A system process of another user is a system process first.
      {with([](auto& c) {
         c.name = "sshd";
         c.uid = 0;
       }),
       "System process"},
      {with([](auto& c) {
         c.uid = 65534;
         c.glimmet = true;
       }),
       "Owned by another user"},
      {with([](auto& c) {
         c.glimmet = true;
         c.frontmost = true;
       }),
       "Glimmet itself"},
      {with([](auto& c) {
         c.frontmost = true;
         c.hasControllingTTY = true;
         c.name = "bash";
       }),
       "The app you're using"},
      {with([](auto& c) {
         c.hasControllingTTY = true;
         c.name = "-zsh";
         c.defaultProtection = "AI agents";
       }),
       "Your terminal shell"},
      // A terminal alone doesn't protect what isn't a shell: a dev server started there.
      {with([](auto& c) { c.hasControllingTTY = true; }), std::nullopt},
      {with([](auto& c) {
         c.defaultProtection = "AI agents";
         c.userProtected = true;
       }),
       "Protected by default: AI agents"},
      {with([](auto& c) { c.userProtected = true; }), "Protected by your rule"},
  };
  for (const auto& [input, reason] : cases) {
    EXPECT_EQ(quitSkipReason(input, kMe, kSystem), reason) << reason.value_or("included");
    const auto plan = SessionQuitPlan::make(input.pid, "Claude Code", {input}, kMe, kSystem);
    ASSERT_EQ(plan.members.size(), 1u);
    EXPECT_EQ(plan.members[0].included, !reason);
    EXPECT_EQ(plan.members[0].skipReason, reason);
  }
}

TEST(SessionQuitPlan, MembersKeepTheirOrderAndReparentedOnesAreDetached) {
  auto agent = candidate(500, 1, "claude");
  agent.defaultProtection = "AI agents";
  auto server = candidate(501, 500, "vite");
  auto worker = candidate(502, 501);
  auto adopted = candidate(503, 1);  // started by the agent, re-parented since
  adopted.recordedSessionPID = 500;
  const auto plan = SessionQuitPlan::make(500, "Claude Code",
                                          {agent, server, worker, adopted, server}, kMe, kSystem);
  ASSERT_EQ(plan.members.size(), 4u) << "each process once";
  EXPECT_EQ(plan.members[0].skipReason, "Protected by default: AI agents");
  EXPECT_FALSE(plan.members[0].detached);
  EXPECT_FALSE(plan.members[2].detached);
  EXPECT_TRUE(plan.members[3].detached);
  EXPECT_EQ(plan.included().size(), 3u);
  EXPECT_EQ(plan.leftAlone().size(), 1u);
}

// Each tree stop covers an included member and what is below it, so a member
// below another included one is not stopped twice; below a member left alone
// it needs its own.
TEST(SessionQuitPlan, TreeRootsAreTheIncludedMembersWithoutAnIncludedParent) {
  auto agent = candidate(500, 1, "claude");
  agent.defaultProtection = "AI agents";
  auto server = candidate(501, 500);
  auto worker = candidate(502, 501);
  auto kept = candidate(503, 500);
  kept.userProtected = true;
  auto belowKept = candidate(504, 503);
  const auto plan = SessionQuitPlan::make(500, "Claude Code",
                                          {agent, server, worker, kept, belowKept}, kMe, kSystem);
  std::vector<pid_t> roots;
  for (const auto* member : plan.treeRoots()) roots.push_back(member->pid);
  EXPECT_EQ(roots, (std::vector<pid_t>{501, 504}));

  // A forged loop of parents ends; it makes nobody detached by accident.
  const auto looped =
      SessionQuitPlan::make(600, "x", {candidate(600, 601), candidate(601, 600)}, kMe, kSystem);
  EXPECT_FALSE(looped.members[1].detached);
}

}  // namespace
}  // namespace glimmet
