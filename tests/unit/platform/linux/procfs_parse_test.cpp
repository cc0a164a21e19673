#include "platform/linux/procfs_parse.h"

#include <gtest/gtest.h>

namespace glimmet::platform::procfs {
namespace {

constexpr std::string_view kStatTail =
    " S 1 4242 4242 34816 4242 4194560 100 0 0 0 5 3 0 0 20 0 1 0 987654 12345678 321 "
    "18446744073709551615";

TEST(ParseStat, ReadsTheFieldsAfterTheLastParenthesis) {
  // A process may name itself anything, including ") R 1 2 3" to fool a parser
  // that stops at the first closing parenthesis.
  const std::string text = "4242 (evil) R 1 2 3)" + std::string(kStatTail) + "\n";
  const auto fields = parseStat(text);
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->pid, 4242);
  EXPECT_EQ(fields->comm, "evil) R 1 2 3");
  EXPECT_EQ(fields->state, 'S');
  EXPECT_EQ(fields->ppid, 1);
  EXPECT_EQ(fields->pgid, 4242);
  EXPECT_EQ(fields->sid, 4242);
  EXPECT_EQ(fields->ttyNr, 34816);
  EXPECT_EQ(fields->flags, 4194560u);
  EXPECT_EQ(fields->startTicks, 987654u);
  EXPECT_EQ(fields->rssPages, 321);
  EXPECT_EQ(fields->cpuTicks, 8u);  // utime 5 and stime 3
}

TEST(ParseStat, RejectsTruncatedOrMalformedText) {
  EXPECT_FALSE(parseStat(""));
  EXPECT_FALSE(parseStat("4242 (name"));
  EXPECT_FALSE(parseStat("4242 (name) S 1 2"));
  EXPECT_FALSE(parseStat("abc (name)" + std::string(kStatTail)));
  EXPECT_FALSE(parseStat("-5 (name)" + std::string(kStatTail)));
  EXPECT_FALSE(
      parseStat("4242 (name) SS 1 4242 4242 34816 4242 4194560 100 0 0 0 5 3 0 0 20 0 1 "
                "0 987654 12345678 321"));
}

TEST(ParseStatus, ReadsTheUIDsAndMemoryAndToleratesZombies) {
  const auto live = parseStatus(
      "Name:\tnode\nUid:\t1000\t1001\t1002\t1000\nVmRSS:\t  2048 kB\nRssAnon:\t  1024 kB\n"
      "RssShmem:\t  16 kB\nVmSwap:\t 8 kB\n");
  EXPECT_EQ(live.realUID, 1000u);
  EXPECT_EQ(live.effectiveUID, 1001u);
  EXPECT_EQ(live.savedUID, 1002u);
  EXPECT_EQ(live.vmRssKiB, 2048u);
  EXPECT_EQ(live.rssAnonKiB + live.rssShmemKiB + live.vmSwapKiB, 1048u);

  const auto zombie = parseStatus("Name:\tsh\nState:\tZ (zombie)\nUid:\t0\t0\t0\t0\n");
  EXPECT_EQ(zombie.effectiveUID, 0u);
  EXPECT_EQ(zombie.vmRssKiB, 0u);
  EXPECT_FALSE(parseStatus("Name:\tx\nUid:\tgarbage\tmore\n").effectiveUID);
  // A line cut short says nothing about any of them.
  EXPECT_FALSE(parseStatus("Uid:\t1000\t1000\n").savedUID);
}

TEST(SplitLists, KeepEmptyArgumentsAndStopTheEnvironmentAtAnEmptyString) {
  using Strings = std::vector<std::string>;
  EXPECT_EQ(splitNulList(std::string_view("node\0server.js\0\0--x\0", 20)),
            (Strings{"node", "server.js", "", "--x"}));
  EXPECT_EQ(splitNulList("rewritten title without nul"), Strings{"rewritten title without nul"});
  EXPECT_EQ(splitNulList(""), Strings{});
  EXPECT_EQ(splitEnvironment(std::string_view("A=1\0B=2\0\0C=3\0", 14)), (Strings{"A=1", "B=2"}));
}

TEST(ParseBootTime, FindsTheBtimeLine) {
  EXPECT_EQ(parseBootTime("cpu  1 2 3\nbtime 1733480000\nprocesses 5\n"), 1733480000u);
  EXPECT_FALSE(parseBootTime("cpu 1 2 3\n"));
}

TEST(StripDeletedSuffix, RemovesOnlyTheKernelsSuffix) {
  EXPECT_EQ(stripDeletedSuffix("/usr/bin/node (deleted)"), "/usr/bin/node");
  EXPECT_EQ(stripDeletedSuffix("/usr/bin/node"), "/usr/bin/node");
}

}  // namespace
}  // namespace glimmet::platform::procfs
