#include "app/notify_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

#include "logic/agents/agent_event.h"
#include "platform/unique_fd.h"
#include "support/isolated_home.h"

namespace glimmet {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kStop = R"({"session_id":"s-1","hook_event_name":"Stop"})";
const SystemTime kBeat = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7};

class NotifyRun : public ::testing::Test {
 protected:
  void SetUp() override {
    home_.dir().write("home/.local/share/Glimmet/mcp-heartbeat.json",
                      R"({"time":"2026-12-07T00:00:00Z"})");
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    reader_ = platform::UniqueFd(ends[0]);
    writer_ = platform::UniqueFd(ends[1]);
    ASSERT_EQ(::write(writer_.get(), kStop.data(), kStop.size()),
              static_cast<ssize_t>(kStop.size()));
    writer_ = platform::UniqueFd();
  }

  bool record(SystemTime now) {
    return recordAgentNotification({.agent = "Claude-Code", .pid = 4242}, home_.environment(),
                                   reader_.get(), now);
  }

  std::filesystem::path log() const { return home_.sharedFolder() / "agent-events.jsonl"; }

  testing::IsolatedHome home_;
  platform::UniqueFd reader_, writer_;
};

// Freshness is judged at the moment passed in, and without a running
// application the hook's input is not even read.
TEST_F(NotifyRun, AStaleHeartbeatLeavesTheInputUnread) {
  EXPECT_FALSE(record(kBeat + 90s));
  EXPECT_FALSE(std::filesystem::exists(log()));
  std::string left(kStop.size() + 1, '\0');
  EXPECT_EQ(::read(reader_.get(), left.data(), left.size()), static_cast<ssize_t>(kStop.size()));
  EXPECT_EQ(left.substr(0, kStop.size()), kStop);
}

TEST_F(NotifyRun, AFreshHeartbeatRecordsOneLineAtTheGivenMoment) {
  EXPECT_TRUE(record(kBeat + 30s));
  const auto event =
      decodeAgentEvent(home_.dir().read("home/.local/share/Glimmet/agent-events.jsonl"));
  ASSERT_TRUE(event);
  EXPECT_EQ(event->time, kBeat + 30s);
  EXPECT_EQ(event->agent, "Claude Code");
  EXPECT_EQ(event->pid, 4242);
  EXPECT_EQ(event->sessionID, "s-1");
}

// Another program that keeps the inbox locked costs this event after the short
// wait, never the agent's turn: no exception, no hang.
TEST_F(NotifyRun, AnInboxLockedPastTheWaitCostsOnlyTheEvent) {
  const auto lockPath = home_.sharedFolder() / "agent-events.lock";
  platform::UniqueFd held(::open(lockPath.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600));
  ASSERT_GE(held.get(), 0);
  ASSERT_EQ(::flock(held.get(), LOCK_EX), 0);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(record(kBeat + 30s));
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
  EXPECT_FALSE(std::filesystem::exists(log()));
}

}  // namespace
}  // namespace glimmet
