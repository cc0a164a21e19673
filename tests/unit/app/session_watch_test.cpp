#include "app/session_watch.h"

#include <gtest/gtest.h>

#include "support/shipped_data.h"

namespace glimmet {
namespace {

const auto kStart = std::chrono::system_clock::time_point(std::chrono::seconds(2'000'000'000));
const ProcessIdentity kAgent{1000, 5};

struct FakeClock final : KillClock {
  double seconds = 0;
  int sleeps = 0;
  double now() const override { return seconds; }
  void sleep(double duration) override {
    seconds += duration;
    ++sleeps;
  }
};

ProcessRecord process(pid_t pid, pid_t ppid, std::string argv0, std::uint64_t start = 5) {
  ProcessRecord r;
  r.identity = {pid, start};
  r.ppid = ppid;
  r.name = argv0.substr(argv0.rfind('/') + 1);
  r.argv = {argv0};
  return r;
}

const ProcessRecord kClaude = process(1000, 900, "/home/me/.local/bin/claude");
const ProcessRecord kShell = process(900, 1, "/usr/bin/zsh");

// Hands out the given tables one per call; the last one again once they run out.
struct Tables {
  std::vector<std::vector<ProcessRecord>> tables;
  std::size_t taken = 0;
  ProcessSnapshot next() {
    const auto& records = tables[std::min(taken, tables.size() - 1)];
    return ProcessSnapshot(kStart + std::chrono::seconds(2 * taken++), records);
  }
};

void watch(Tables& tables, AncestryRecorder& recorder, FakeClock& clock,
           const ProcessIdentity& session = kAgent) {
  watchSessionEnd(
      session, [&] { return tables.next(); }, testing::shippedSignatures(), recorder, clock);
}

TEST(SessionWatch, WhatTheSessionStartedKeepsItsChainAfterItIsReparented) {
  // A server started with nohup under the agent's shell tool, and a language server.
  const auto tool = process(1001, 1000, "/bin/bash");
  const auto server = process(1002, 1001, "/usr/bin/python3");
  const auto languageServer = process(1003, 1000, "/usr/bin/node");
  auto orphanedServer = server;
  orphanedServer.ppid = 1;
  auto orphanedLanguageServer = languageServer;
  orphanedLanguageServer.ppid = 1;
  // Started after the agent exited by an orphan: nothing recorded it under the agent.
  const auto late = process(1004, 1, "/usr/bin/node");
  Tables tables{{{kShell, kClaude, tool, server},
                 {kShell, kClaude, tool, server, languageServer},
                 {kShell, orphanedServer, orphanedLanguageServer, late}}};
  AncestryRecorder recorder;
  FakeClock clock;
  watch(tables, recorder, clock);

  EXPECT_EQ(tables.taken, 3u);
  EXPECT_EQ(clock.sleeps, 2);
  EXPECT_EQ(clock.seconds, 2 * SessionWatch::kPollSeconds);
  for (const auto& left : {server, languageServer}) {
    const auto* record = recorder.recordFor(left.identity);
    ASSERT_NE(record, nullptr) << left.name;
    const auto root = std::find_if(record->chain.begin(), record->chain.end(),
                                   [](const AncestorEntry& entry) { return entry.root; });
    ASSERT_NE(root, record->chain.end());
    EXPECT_EQ(root->identity(), kAgent);
    EXPECT_EQ(root->root->agent, "Claude Code");
  }
  EXPECT_EQ(recorder.recordFor(late.identity), nullptr);
  EXPECT_EQ(recorder.recordFor(tool.identity), nullptr) << "gone processes are pruned";
}

TEST(SessionWatch, APidReusedOrAZombieRootEndsTheWait) {
  auto reused = process(1000, 1, "/usr/bin/sleep", 99);
  Tables tables{{{kShell, kClaude}, {kShell, reused}}};
  AncestryRecorder recorder;
  FakeClock clock;
  watch(tables, recorder, clock);
  EXPECT_EQ(tables.taken, 2u);

  auto zombie = kClaude;
  zombie.status = ProcessStatus::zombie;
  Tables zombieTables{{{kShell, zombie}}};
  watch(zombieTables, recorder, clock);
  EXPECT_EQ(zombieTables.taken, 1u);
  EXPECT_TRUE(sessionHasEnded(kAgent, ProcessSnapshot(kStart, {kShell})));
  EXPECT_FALSE(sessionHasEnded(kAgent, ProcessSnapshot(kStart, {kShell, kClaude})));
}

TEST(SessionWatch, ASessionThatNeverEndsIsGivenUpOnAfterADay) {
  Tables tables{{{kShell, kClaude}}};
  AncestryRecorder recorder;
  FakeClock clock;
  watch(tables, recorder, clock);
  EXPECT_GE(clock.seconds, SessionWatch::kLongestWaitSeconds);
  EXPECT_LT(clock.seconds, SessionWatch::kLongestWaitSeconds + SessionWatch::kPollSeconds + 1);
}

}  // namespace
}  // namespace glimmet
