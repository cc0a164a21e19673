#include "core/agents/agent_event_inbox.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "logic/agents/agent_event.h"
#include "platform/system_error.h"
#include "support/temp_dir.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;

const SystemTime kNow = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7};

AgentEvent eventAt(SystemTime time, std::string id = "ID") {
  return {.id = std::move(id),
          .time = time,
          .agent = "Codex",
          .kind = AgentEventKind::finished,
          .pid = 1};
}

std::string lineAt(SystemTime time, std::string id = "ID") {
  return encodeAgentEventLine(eventAt(time, std::move(id)));
}

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

TEST(AgentEventInbox, AppendCreatesPrivateFilesAndAddsWholeLines) {
  testing::TempDir dir;
  const AgentEventInbox inbox(dir / "a/Glimmet");
  EXPECT_FALSE(inbox.hasPendingEvents());
  inbox.append(lineAt(kNow, "ONE"));
  inbox.append(lineAt(kNow, "TWO"));
  EXPECT_TRUE(inbox.hasPendingEvents());
  EXPECT_EQ(modeOf(dir / "a/Glimmet"), 0700u);
  EXPECT_EQ(modeOf(dir / "a/Glimmet/agent-events.jsonl"), 0600u);
  EXPECT_EQ(modeOf(dir / "a/Glimmet/agent-events.lock"), 0600u);
  EXPECT_EQ(dir.read("a/Glimmet/agent-events.jsonl"), lineAt(kNow, "ONE") + lineAt(kNow, "TWO"));
}

TEST(AgentEventInbox, ALogPastItsLimitStartsAfresh) {
  testing::TempDir dir;
  const AgentEventInbox inbox(dir.path());
  dir.write("agent-events.jsonl", std::string(262'144, 'x'));
  inbox.append(lineAt(kNow, "KEPT"));
  EXPECT_EQ(fs::file_size(dir / "agent-events.jsonl"), 262'144 + lineAt(kNow, "KEPT").size());
  dir.write("agent-events.jsonl", std::string(262'145, 'x'));
  inbox.append(lineAt(kNow, "NEW"));
  EXPECT_EQ(dir.read("agent-events.jsonl"), lineAt(kNow, "NEW"));
  EXPECT_EQ(modeOf(dir / "agent-events.jsonl"), 0600u);
}

// The application's side: what it drains is exactly what was appended, and
// the log is left empty for the next turn.
TEST(AgentEventInbox, DrainTakesEveryLineAndEmptiesTheLog) {
  testing::TempDir dir;
  const AgentEventInbox inbox(dir.path());
  inbox.append(lineAt(kNow - seconds(600), "OLD"));
  inbox.append(lineAt(kNow, "NEW"));
  const auto drained = inbox.drain();
  EXPECT_EQ(drained, lineAt(kNow - seconds(600), "OLD") + lineAt(kNow, "NEW"));
  const auto events = decodeAgentEventLog(drained, kNow);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].id, "NEW");
  EXPECT_EQ(dir.read("agent-events.jsonl"), "");
  EXPECT_EQ(modeOf(dir / "agent-events.jsonl"), 0600u);
  EXPECT_FALSE(inbox.hasPendingEvents());
  EXPECT_EQ(inbox.drain(), "");
}

TEST(AgentEventInbox, DrainWithoutALogIsEmptyAndCreatesNoLog) {
  testing::TempDir dir;
  EXPECT_EQ(AgentEventInbox(dir.path()).drain(), "");
  EXPECT_FALSE(fs::exists(dir / "agent-events.jsonl"));
}

TEST(AgentEventInbox, APlantedLinkIsNeitherFollowedNorCounted) {
  testing::TempDir dir;
  dir.write("theirs.jsonl", lineAt(kNow));
  fs::create_symlink(dir / "theirs.jsonl", dir / "agent-events.jsonl");
  const AgentEventInbox inbox(dir.path());
  EXPECT_FALSE(inbox.hasPendingEvents());
  EXPECT_THROW(inbox.append(lineAt(kNow)), platform::SystemError);
  EXPECT_EQ(inbox.drain(), "");
  EXPECT_EQ(dir.read("theirs.jsonl"), lineAt(kNow));
}

TEST(AgentEventInbox, AFolderThatCannotBeMadeThrows) {
  testing::TempDir dir;
  dir.write("file", "");
  EXPECT_THROW(AgentEventInbox(dir / "file/Glimmet").append(lineAt(kNow)), platform::SystemError);
}

TEST(AgentEventInbox, AppendsFromManyProcessesNeverInterleave) {
  testing::TempDir dir;
  const AgentEventInbox inbox(dir.path());
  constexpr int kWriters = 8, kEach = 50;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      for (int i = 0; i < kEach; ++i) {
        AgentEvent event = eventAt(kNow, std::to_string(w));
        event.message = std::string(4000, static_cast<char>('a' + w));
        inbox.append(encodeAgentEventLine(event));
      }
      ::_exit(0);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) ::waitpid(pid, nullptr, 0);
  const auto log = dir.read("agent-events.jsonl");
  size_t lines = 0;
  for (size_t start = 0; start < log.size(); ++lines) {
    const size_t end = log.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    EXPECT_TRUE(decodeAgentEvent(std::string_view(log).substr(start, end - start)));
    start = end + 1;
  }
  // The limit may have restarted the log once; every line left is whole.
  EXPECT_GT(lines, 0u);
  EXPECT_LE(lines, static_cast<size_t>(kWriters * kEach));
}

}  // namespace
}  // namespace glimmet
