// The kill log against a real shared folder: masking, encoding, locked appends
// from two processes, tolerant reads and the CSV export.
#include "core/kill/kill_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

#include "core/util/secret_masker.h"
#include "support/temp_dir.h"

namespace glimmet {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

SystemTime at(int64_t seconds) {
  return SystemTime(std::chrono::seconds(seconds));
}

KillLogEntry entry(int32_t pid, SystemTime time = at(1'780'000'000)) {
  KillLogEntry e;
  e.time = time;
  e.pid = pid;
  e.command = "node server.js";
  e.freedBytes = 1024;
  e.signal = signalListText({SIGTERM});
  e.trigger = KillLogEntry::Trigger::cli;
  return e;
}

TEST(KillLog, MasksTokensInCommandLines) {
  const std::string token = "abcdefghij0123456789ABCDEFGHIJ0123456789";
  EXPECT_EQ(SecretMasker::maskedCommand({"deploy", "--", token}, "deploy"),
            std::string("deploy -- ") + std::string(SecretMasker::mask));
  EXPECT_EQ(SecretMasker::maskedCommand({}, "zombie"), "zombie");
}

TEST(KillLog, NamesSignalsInOrder) {
  EXPECT_EQ(signalListText({SIGTERM, SIGKILL}), "SIGTERM, SIGKILL");
  EXPECT_EQ(signalListText({SIGINT}), "SIG2");
  EXPECT_EQ(signalListText({}), "");
}

TEST(KillLog, EncodesKeysInLogOrderAndDecodesBack) {
  auto e = entry(42);
  e.origin = "likely";
  e.repo = "~/Dev/web";
  e.repoPath = "/home/me/Dev/web";
  e.rule = "Runaway CPU";
  e.cpuPercent = 180.5;
  e.result = KillLogEntry::Result::partlyStopped;
  e.trigger = KillLogEntry::Trigger::reaper;
  const auto line = e.encodeLine();
  EXPECT_EQ(
      line,
      R"({"time":"2026-05-28T20:26:40Z","pid":42,"command":"node server.js","origin":"likely",)"
      R"("repo":"~/Dev/web","freedBytes":1024,"signal":"SIGTERM","result":"partly stopped",)"
      R"("trigger":"reaper","repoPath":"/home/me/Dev/web","rule":"Runaway CPU","cpuPercent":180.5})");
  EXPECT_EQ(KillLogEntry::decodeLine(line), e);
  EXPECT_EQ(e.label(), "Runaway CPU");
  e.rule = "";
  EXPECT_EQ(e.label(), "Auto-reaper");
}

TEST(KillLog, RefusesLinesThatAreNotWholeEntries) {
  EXPECT_FALSE(KillLogEntry::decodeLine(R"({"time":"2026-05-28T20:26:40Z","pid":4)"));
  EXPECT_FALSE(KillLogEntry::decodeLine(R"({"hello":"world"})"));
  auto line = entry(1).encodeLine();
  line.replace(line.find("\"cli\""), 5, "\"robot\"");
  EXPECT_FALSE(KillLogEntry::decodeLine(line));
  EXPECT_FALSE(KillLogEntry::decodeLine("\xff\xfe garbage"));
}

TEST(KillLog, AppendsUnderA0600LockAndSkipsTornLines) {
  testing::TempDir dir;
  const KillLog log(dir / "Glimmet");
  log.append({entry(1), entry(2)});
  struct stat info {};
  ASSERT_EQ(::stat((dir / "Glimmet/killlog.jsonl.lock").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  // A torn line from a crashed writer and a foreign line stay in the file but are skipped.
  dir.write("Glimmet/killlog.jsonl",
            dir.read("Glimmet/killlog.jsonl") + "{\"time\":\"2026\nnot json\n");
  log.append({entry(3)});
  const auto entries = log.read();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].pid, 1);
  EXPECT_EQ(entries[2].pid, 3);
  EXPECT_TRUE(KillLog(dir / "missing").read().empty());
}

TEST(KillLog, ReadsOnlyTheTailAndDropsOverlongLinesUnbuffered) {
  testing::TempDir dir;
  const KillLog log(dir / "Glimmet");
  log.append({entry(1)});
  // A 50 MB line with no end in sight of the tail, then two whole entries.
  {
    std::ofstream file(dir / "Glimmet/killlog.jsonl", std::ios::app | std::ios::binary);
    const std::string block(1 << 20, 'x');
    for (int i = 0; i < 50; ++i) file << block;
    file << "\n";
  }
  log.append({entry(2), entry(3)});
  const auto entries = log.read();
  ASSERT_EQ(entries.size(), 2u) << "the first entry lies before the tail";
  EXPECT_EQ(entries[0].pid, 2);
  EXPECT_EQ(entries[1].pid, 3);

  // An over-long line inside the tail goes, the lines around it stay.
  const testing::TempDir other;
  const KillLog small(other / "Glimmet");
  small.append({entry(4)});
  {
    std::ofstream file(other / "Glimmet/killlog.jsonl", std::ios::app | std::ios::binary);
    file << std::string(2 << 20, '{') << "\n";
  }
  small.append({entry(5)});
  const auto kept = small.read();
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0].pid, 4);
  EXPECT_EQ(kept[1].pid, 5);
}

TEST(KillLog, ALinkOrFifoInTheLogsPlaceIsNeitherFollowedNorWaitedOn) {
  testing::TempDir dir;
  const KillLog log(dir / "Glimmet");
  log.append({entry(1)});
  std::filesystem::remove(dir / "Glimmet/killlog.jsonl");
  std::filesystem::create_symlink("/dev/zero", dir / "Glimmet/killlog.jsonl");
  EXPECT_TRUE(log.read().empty());
  EXPECT_FALSE(log.appendIfPossible({entry(2)}));
  std::filesystem::remove(dir / "Glimmet/killlog.jsonl");
  ASSERT_EQ(::mkfifo((dir / "Glimmet/killlog.jsonl").c_str(), 0600), 0);
  EXPECT_TRUE(log.read().empty());
  EXPECT_FALSE(log.appendIfPossible({entry(3)}));
  std::filesystem::remove(dir / "Glimmet/killlog.jsonl.lock");
  std::filesystem::create_symlink(dir / "elsewhere", dir / "Glimmet/killlog.jsonl.lock");
  std::filesystem::remove(dir / "Glimmet/killlog.jsonl");
  EXPECT_FALSE(log.appendIfPossible({entry(4)}));
  EXPECT_FALSE(std::filesystem::exists(dir / "elsewhere"));
  EXPECT_FALSE(std::filesystem::exists(dir / "Glimmet/killlog.jsonl"));
}

TEST(KillLog, TwoProcessesAppendingAtOnceWriteWholeLines) {
  testing::TempDir dir;
  const KillLog log(dir / "Glimmet");
  constexpr int kPerProcess = 200;
  std::vector<pid_t> children;
  for (int child = 0; child < 2; ++child) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int i = 0; i < kPerProcess; ++i) {
        auto e = entry(child * 1000 + i);
        e.command = std::string(5000, child == 0 ? 'a' : 'b');  // longer than one pipe-sized write
        log.append({e});
      }
      ::_exit(0);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_EQ(status, 0);
  }
  EXPECT_EQ(log.read().size(), 2u * kPerProcess);
}

TEST(KillLog, SelectsEntriesSinceADateAndCountsTotals) {
  testing::TempDir dir;
  const KillLog log(dir.path());
  auto dry = entry(3, at(300));
  dry.result = KillLogEntry::Result::dryRun;
  dry.trigger = KillLogEntry::Trigger::mcp;
  log.append({entry(1, at(100)), entry(2, at(200)), dry});
  const auto since = log.entriesSince(at(200));
  ASSERT_EQ(since.size(), 2u);
  EXPECT_EQ(since[0].pid, 2);
  const auto totals = KillLogTotals::of(log.read());
  EXPECT_EQ(totals.kills, 2u);
  EXPECT_EQ(totals.dryRuns, 1u);
  EXPECT_EQ(totals.byTrigger.at(KillLogEntry::Trigger::cli), 2u);
  EXPECT_EQ(totals.byTrigger.at(KillLogEntry::Trigger::mcp), 1u);
}

TEST(KillLog, ExportsCsvQuotingWhatNeedsIt) {
  auto e = entry(7, at(0));
  e.origin = "likely, via Claude";
  e.command = R"(echo "hi")";
  e.signal = signalListText({SIGTERM, SIGKILL});
  EXPECT_EQ(killLogCsv({e}),
            "time,pid,command,origin,repo,freed_bytes,signal,result,trigger\n"
            "1970-01-01T00:00:00Z,7,\"echo \"\"hi\"\"\",\"likely, via Claude\",,1024,"
            "\"SIGTERM, SIGKILL\",stopped,cli\n");
}

}  // namespace
}  // namespace glimmet
