// The notifier's timing over crafted events and sessions, second by second,
// and the exact words of what it raises.
#include "logic/alerts/agent_notifier.h"

#include <gtest/gtest.h>

namespace glimmet {

void PrintTo(const DueAlert& due, std::ostream* out) {
  *out << static_cast<int>(due.kind) << " " << due.alert.title << " / " << due.alert.body;
}

namespace {

using namespace std::chrono_literals;
using Kind = DueAlert::Kind;

const SystemTime kStart = SystemTime(std::chrono::seconds(1'780'000'000));
constexpr pid_t kAgentPID = 4242;

SystemTime at(std::chrono::seconds offset) {
  return kStart + offset;
}

AgentEvent event(AgentEventKind kind, std::chrono::seconds offset,
                 std::optional<std::string> message = std::nullopt,
                 std::string agent = "Claude Code") {
  return {.id = "E",
          .time = at(offset),
          .agent = std::move(agent),
          .kind = kind,
          .message = std::move(message),
          .pid = kAgentPID,
          .sessionID = "session"};
}

// The agent of the events, started five minutes before the test's clock.
WatchedSession session(std::uint64_t digest = 1, std::chrono::microseconds cpu = 0us) {
  return {.root = {kAgentPID, 77},
          .agent = "Claude Code",
          .start = at(-300s),
          .agentCPU = cpu,
          .sessionCPU = cpu,
          .membersDigest = digest};
}

class AgentNotifierTest : public ::testing::Test {
 protected:
  std::vector<DueAlert> look(std::chrono::seconds offset, std::vector<AgentEvent> events = {},
                             std::vector<WatchedSession> sessions = {}) {
    return notifier_.look(events, sessions, rules_, away_, at(offset));
  }

  AgentNotifier notifier_;
  AgentNotifyRules rules_;
  AgentNotifier::Away away_;
};

TEST_F(AgentNotifierTest, AFinishedTurnSaysAtOnceHowLongTheAgentRanAndWhatItLeaves) {
  auto live = session();
  live.leftBehind = {.processes = 2, .memoryBytes = 1'572'864};
  EXPECT_EQ(look(1s, {event(AgentEventKind::finished, 0s)}, {live}),
            (std::vector<DueAlert>{
                {Kind::finished,
                 {"Claude Code finished", "5 min \xC2\xB7 2 processes left behind (1.5 MB)."}}}));
  live.leftBehind = {};
  EXPECT_EQ(look(2s, {event(AgentEventKind::finished, 1s)}, {live}),
            (std::vector<DueAlert>{
                {Kind::finished, {"Claude Code finished", "5 min, nothing left behind."}}}));
  // An agent the companion never saw: how long is unknown, nothing is known left.
  auto codex = event(AgentEventKind::finished, 2s, std::nullopt, "Codex");
  codex.pid = 99999;
  EXPECT_EQ(look(3s, {codex}),
            (std::vector<DueAlert>{
                {Kind::finished, {"Codex finished", "under a minute, nothing left behind."}}}));
}

TEST_F(AgentNotifierTest, AnApprovalRequestAlertsOnceWhenItHasWaitedItsDelay) {
  const auto request =
      event(AgentEventKind::needsApproval, 0s, "Claude needs your permission to use Bash");
  EXPECT_TRUE(look(1s, {request}, {session()}).empty());
  EXPECT_TRUE(notifier_.waiting());
  EXPECT_TRUE(look(29s, {}, {session()}).empty());
  EXPECT_EQ(look(30s, {}, {session()}),
            (std::vector<DueAlert>{{Kind::approvalNeeded,
                                    {"Claude Code needs your approval",
                                     "Claude needs your permission to use Bash. \xC2\xB7 "
                                     "Waiting 1 min."}}}));
  EXPECT_FALSE(notifier_.waiting());
  EXPECT_TRUE(look(90s, {}, {session()}).empty());

  rules_.approvalDelay = 150;
  EXPECT_TRUE(look(200s, {event(AgentEventKind::needsApproval, 200s)}).empty());
  EXPECT_EQ(look(351s).at(0).alert.body, "Waiting on a prompt. \xC2\xB7 Waiting 3 min.");
}

TEST_F(AgentNotifierTest, AnApprovalAnsweredFirstNeverAlerts) {
  // By a later event of the same session.
  EXPECT_TRUE(look(1s, {event(AgentEventKind::needsApproval, 0s)}, {session()}).empty());
  const auto finished = look(10s, {event(AgentEventKind::finished, 9s)}, {session()});
  ASSERT_EQ(finished.size(), 1u);
  EXPECT_EQ(finished[0].kind, Kind::finished);
  EXPECT_TRUE(look(40s, {}, {session()}).empty());

  // By the session going back to work: a tool started.
  EXPECT_TRUE(look(101s, {event(AgentEventKind::needsApproval, 100s)}, {session(1)}).empty());
  EXPECT_TRUE(look(110s, {}, {session(2)}).empty());
  EXPECT_TRUE(look(140s, {}, {session(2)}).empty());
  EXPECT_FALSE(notifier_.waiting());

  // Work right after the request is its hook running: it still alerts.
  EXPECT_TRUE(look(201s, {event(AgentEventKind::needsApproval, 200s)}, {session(2)}).empty());
  EXPECT_TRUE(look(202s, {}, {session(3)}).empty());
  EXPECT_EQ(look(230s, {}, {session(3)}).size(), 1u);

  // A server busy in the background is not the agent answering.
  EXPECT_TRUE(look(301s, {event(AgentEventKind::needsApproval, 300s)}, {session(3, 0us)}).empty());
  auto busy = session(3, 0us);
  busy.sessionCPU = 20s;
  EXPECT_TRUE(look(320s, {}, {busy}).empty());
  EXPECT_EQ(look(330s, {}, {busy}).size(), 1u);
}

TEST_F(AgentNotifierTest, WaitingAtThePromptAlertsUnlessTheTurnsEndJustSaidSo) {
  EXPECT_EQ(look(1s, {event(AgentEventKind::waiting, 0s)}),
            (std::vector<DueAlert>{
                {Kind::waiting, {"Claude Code is waiting for you", "Waiting for your input."}}}));
  const auto both = look(3s, {event(AgentEventKind::finished, 1s),
                              event(AgentEventKind::waiting, 2s, "Claude is waiting")});
  ASSERT_EQ(both.size(), 1u);
  EXPECT_EQ(both[0].kind, Kind::finished);
}

TEST_F(AgentNotifierTest, EachRuleTurnsItsAlertsOff) {
  rules_.finished = false;
  rules_.needsApproval = false;
  EXPECT_TRUE(look(1s, {event(AgentEventKind::finished, 0s), event(AgentEventKind::waiting, 0s),
                        event(AgentEventKind::needsApproval, 0s)})
                  .empty());
  EXPECT_TRUE(look(60s).empty());
  // A request held when its rule is turned off is dropped.
  rules_.needsApproval = true;
  look(61s, {event(AgentEventKind::needsApproval, 60s)});
  rules_.needsApproval = false;
  EXPECT_TRUE(look(100s).empty());
  EXPECT_FALSE(notifier_.waiting());
}

TEST_F(AgentNotifierTest, ASessionWithoutHooksIsGuessedDoneOncePerQuietSpell) {
  auto other = session();
  other.root = {777, 1};
  other.agent = "Codex";
  std::vector<DueAlert> due;
  // Waiting at its first prompt: it never worked, so it is never guessed done.
  for (int second = 0; second <= 300; second += 10) {
    auto found = look(std::chrono::seconds(second), {}, {other});
    due.insert(due.end(), found.begin(), found.end());
  }
  EXPECT_TRUE(due.empty());
  // It works at 310 s (a second of CPU), then goes quiet.
  other.agentCPU = other.sessionCPU = 1s;
  look(310s, {}, {other});
  EXPECT_TRUE(look(429s, {}, {other}).empty());
  EXPECT_EQ(look(430s, {}, {other}),
            (std::vector<DueAlert>{{Kind::idleGuess,
                                    {"Codex looks done (a guess)",
                                     "Quiet for 2 min, so it may be finished or waiting on you. "
                                     "Install hooks for an exact alert."}}}));
  EXPECT_TRUE(look(900s, {}, {other}).empty());
  // A new spell of work, a new guess.
  other.membersDigest = 9;
  look(1000s, {}, {other});
  EXPECT_EQ(look(1120s, {}, {other}).size(), 1u);

  rules_.idleGuess = false;
  other.membersDigest = 10;
  look(1200s, {}, {other});
  EXPECT_TRUE(look(1400s, {}, {other}).empty());
}

TEST_F(AgentNotifierTest, ASessionThatSentAnEventHasHooksAndIsNeverGuessedAbout) {
  rules_.finished = false;
  look(0s, {}, {session(1)});
  look(1s, {event(AgentEventKind::finished, 1s)}, {session(2)});
  EXPECT_TRUE(look(500s, {}, {session(2)}).empty());
}

TEST_F(AgentNotifierTest, OnlyWhenAwayDropsWhatFallsDueWhileThePersonIsThere) {
  rules_.onlyWhenAway = true;
  int asked = 0;
  std::optional<bool> away = false;
  away_ = [&] {
    ++asked;
    return away;
  };
  EXPECT_TRUE(look(1s).empty());
  EXPECT_EQ(asked, 0) << "nothing due: nobody is asked";
  EXPECT_TRUE(look(2s, {event(AgentEventKind::finished, 1s)}).empty());
  EXPECT_EQ(asked, 1);
  away = true;
  EXPECT_EQ(look(3s, {event(AgentEventKind::finished, 2s)}).size(), 1u);
  // When it can't be told, the alert is raised.
  away = std::nullopt;
  EXPECT_EQ(look(4s, {event(AgentEventKind::finished, 3s)}).size(), 1u);
  rules_.onlyWhenAway = false;
  away = false;
  EXPECT_EQ(look(5s, {event(AgentEventKind::finished, 4s)}).size(), 1u);
  EXPECT_EQ(asked, 3);
}

TEST_F(AgentNotifierTest, AFloodOfEventsGivesOneAlertASessionAndAtMostTwentyALook) {
  std::vector<AgentEvent> flood;
  for (int i = 0; i < 50; ++i) flood.push_back(event(AgentEventKind::finished, 0s));
  flood.push_back(event(AgentEventKind::finished, 1s, std::nullopt, "Codex"));
  const auto once = look(2s, flood, {session()});
  ASSERT_EQ(once.size(), 2u);
  EXPECT_EQ(once[0].alert.title, "Claude Code finished");
  EXPECT_EQ(once[1].alert.title, "Codex finished");

  std::vector<AgentEvent> many;
  for (int i = 0; i < 30; ++i) {
    many.push_back(event(AgentEventKind::finished, 3s));
    many.back().pid = 10'000 + i;
  }
  EXPECT_EQ(look(4s, many).size(), AgentNotifier::kMostAlertsPerLook);
}

TEST_F(AgentNotifierTest, NothingOlderThanAnHourAlerts) {
  EXPECT_TRUE(look(3601s, {event(AgentEventKind::finished, 0s)}).empty());
  rules_.approvalDelay = 7200;
  look(1s, {event(AgentEventKind::needsApproval, 0s)});
  EXPECT_TRUE(look(3600s).empty());
  EXPECT_TRUE(notifier_.waiting());
  EXPECT_TRUE(look(3601s).empty());
  EXPECT_FALSE(notifier_.waiting());
}

}  // namespace
}  // namespace glimmet
