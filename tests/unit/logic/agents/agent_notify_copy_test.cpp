#include "logic/agents/agent_notify_copy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace glimmet {
namespace {

using namespace AgentNotifyCopy;

TEST(AgentNotifyCopy, DurationRoundsToWholeMinutes) {
  EXPECT_EQ(duration(0), "under a minute");
  EXPECT_EQ(duration(29), "under a minute");
  EXPECT_EQ(duration(30), "1 min");
  EXPECT_EQ(duration(89), "1 min");
  EXPECT_EQ(duration(90), "2 min");
  EXPECT_EQ(duration(59 * 60 + 29), "59 min");
  EXPECT_EQ(duration(59 * 60 + 30), "1 h");
  EXPECT_EQ(duration(3600), "1 h");
  EXPECT_EQ(duration(3900), "1 h 5 min");
  EXPECT_EQ(duration(26 * 3600), "26 h");
  EXPECT_EQ(duration(-5), "under a minute");
  EXPECT_EQ(duration(std::nan("")), "under a minute");
  EXPECT_EQ(duration(1e300).substr(0, 5), "16666");
}

TEST(AgentNotifyCopy, ApprovalNeeded) {
  EXPECT_EQ(approvalNeeded("Claude Code", "Claude needs your permission to use Bash", 125),
            (AgentAlert{"Claude Code needs your approval",
                        "Claude needs your permission to use Bash. \xC2\xB7 Waiting 2 min."}));
  EXPECT_EQ(approvalNeeded("Codex", std::nullopt, 10).body,
            "Waiting on a prompt. \xC2\xB7 Waiting under a minute.");
  EXPECT_EQ(approvalNeeded("Codex", "Done.", 60).body, "Done. \xC2\xB7 Waiting 1 min.");
}

TEST(AgentNotifyCopy, WaitingForInput) {
  EXPECT_EQ(waitingForInput("Claude Code", std::nullopt),
            (AgentAlert{"Claude Code is waiting for you", "Waiting for your input."}));
  const std::vector<std::string> extra = {"Open for 3 h."};
  EXPECT_EQ(waitingForInput("Codex", "Which branch", extra).body,
            "Which branch. \xC2\xB7 Open for 3 h.");
}

TEST(AgentNotifyCopy, FinishedSaysWhatWasLeftBehind) {
  EXPECT_EQ(finished("Claude Code", 720, {}),
            (AgentAlert{"Claude Code finished", "12 min, nothing left behind."}));
  EXPECT_EQ(finished("Codex", 3600, {.processes = 1}).body, "1 h \xC2\xB7 1 process left behind.");
  const std::vector<std::string> extra = {"Your turn."};
  const auto alert = finished("", 60, {.processes = 3, .memoryBytes = 512ull << 20}, extra);
  EXPECT_EQ(alert.title, "Session finished");
  EXPECT_EQ(alert.body.substr(0, alert.body.find('(')), "1 min \xC2\xB7 3 processes left behind ");
  EXPECT_TRUE(alert.body.ends_with(")." + std::string(kPartSeparator) + "Your turn."));
}

TEST(AgentNotifyCopy, IdleGuess) {
  EXPECT_EQ(idleGuess("Aider", 120),
            (AgentAlert{"Aider looks done (a guess)",
                        "Quiet for 2 min, so it may be finished or waiting on you. Install hooks "
                        "for an exact alert."}));
}

}  // namespace
}  // namespace glimmet
